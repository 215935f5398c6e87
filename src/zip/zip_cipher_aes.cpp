// Zip's AES format: the key derivation, the verifier, counter-mode decryption with the
// HMAC over the encrypted bytes, and the authentication code after the data.
#include "zip/zip_cipher_aes.h"

#include <cstring>

#include "zip/crypto/pbkdf2_sha1.h"
#include "zip/zip_entry.h"
#include "zip/zip_error.h"
#include "zip/zip_source.h"

namespace {

// Compares without an early exit, so the time taken does not tell where a code differs.
bool SameBytes(const uint8_t* a, const uint8_t* b, size_t length) {
    uint8_t difference = 0;
    for (size_t i = 0; i < length; ++i) {
        difference |= static_cast<uint8_t>(a[i] ^ b[i]);
    }
    return difference == 0;
}

// Overwrites key material with zeros in a way the compiler keeps.
void Wipe(uint8_t* bytes, size_t length) {
    volatile uint8_t* wipe = bytes;
    for (size_t i = 0; i < length; ++i) {
        wipe[i] = 0;
    }
}

}  // namespace

CAesCipher::CAesCipher(uint8_t strength) : m_strength(strength) {
    if (KeySize(strength) == 0) {
        CZipError::Throw(CZipError::kGeneric);
    }
}

CAesCipher::~CAesCipher() {
    ForgetAesKey();
}

void CAesCipher::ForgetAesKey() {
    Wipe(m_aesKey, sizeof m_aesKey);
    m_aesKeySize = 0;
}

size_t CAesCipher::SaltSize(uint8_t strength) {
    return strength >= 1 && strength <= 3 ? 4 + 4 * static_cast<size_t>(strength) : 0;
}

size_t CAesCipher::KeySize(uint8_t strength) {
    return strength >= 1 && strength <= 3 ? 8 + 8 * static_cast<size_t>(strength) : 0;
}

void CAesCipher::SetAesKey(const uint8_t* key, size_t length) {
    if (!m_counter.SetKey(key, length)) {
        CZipError::Throw(CZipError::kGeneric);
    }
}

bool CAesCipher::StartDecrypt(const CByteBuffer& password, CZipEntry& entry, CZipSource& storage,
                              bool skipCheck) {
    uint8_t strength = entry.m_encryption;
    size_t keySize = KeySize(strength);
    if (keySize == 0) {
        CZipError::Throw(CZipError::kGeneric, storage.ArchivePath());
    }
    m_strength = strength;
    ForgetAesKey();
    size_t saltSize = SaltSize(strength);
    if (entry.m_compressedSize < saltSize + kVerifierSize + kAuthenticationSize) {
        CZipError::Throw(CZipError::kBadArchive, storage.ArchivePath());
    }
    uint8_t salt[16];
    storage.Read(salt, saltSize, false);
    uint8_t keys[2 * 32 + kVerifierSize];
    // However this ends, the derived keys then live in the library's key objects only (and
    // the AES key in m_aesKey until the entry's first Decrypt).
    struct Wiper {
        uint8_t* bytes;
        size_t size;
        ~Wiper() { Wipe(bytes, size); }
    } wiper{keys, sizeof keys};
    size_t derived = 2 * keySize + kVerifierSize;
    // The library failing (out of memory, no AES or SHA-1 in it) is not a wrong password.
    if (!zipcrypto::Pbkdf2HmacSha1(password.Data(), password.Size(), salt, saltSize, kIterations,
                                   keys, derived)) {
        CZipError::Throw(CZipError::kGeneric, storage.ArchivePath());
    }
    std::memcpy(m_aesKey, keys, keySize);
    m_aesKeySize = keySize;
    if (!m_hmac.SetKey(keys + keySize, keySize)) {
        CZipError::Throw(CZipError::kGeneric, storage.ArchivePath());
    }
    const uint8_t expected[kVerifierSize] = {keys[2 * keySize], keys[2 * keySize + 1]};
    uint8_t verifier[kVerifierSize];
    storage.Read(verifier, sizeof verifier, false);
    if (skipCheck || SameBytes(verifier, expected, kVerifierSize)) {
        return true;
    }
    ForgetAesKey();
    return false;
}

void CAesCipher::Decrypt(uint8_t* buffer, size_t length) {
    if (!m_hmac.Update(buffer, length)) {
        CZipError::Throw(CZipError::kGeneric);
    }
    if (m_aesKeySize != 0) {
        // The derived copy goes whether or not the library takes it.
        struct Forget {
            CAesCipher& cipher;
            ~Forget() { cipher.ForgetAesKey(); }
        } forget{*this};
        SetAesKey(m_aesKey, m_aesKeySize);
    }
    if (!m_counter.Process(buffer, length)) {
        CZipError::Throw(CZipError::kGeneric);
    }
}

void CAesCipher::FinishDecrypt(CZipEntry& entry, CZipSource& storage) {
    (void)entry;
    uint8_t stored[kAuthenticationSize];
    storage.Read(stored, sizeof stored, false);
    uint8_t computed[zipcrypto::CHmacSha1::kDigestSize];
    if (!m_hmac.Final(computed)) {
        CZipError::Throw(CZipError::kGeneric, storage.ArchivePath());
    }
    if (!SameBytes(stored, computed, kAuthenticationSize)) {
        CZipError::Throw(CZipError::kBadAuthentication, storage.ArchivePath());
    }
}

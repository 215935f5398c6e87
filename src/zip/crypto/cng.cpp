// The cryptographic primitives of the Windows build, from Windows' own CNG (bcrypt.dll):
// AES in ECB mode, HMAC-SHA1, PBKDF2 and SHA-1. Nothing to ship or update with the
// installer; Windows keeps them, with the processor's AES and SHA instructions where
// present. Only calls that Windows 7 has are used (no pseudo-handles, no reusable hashes).
#include <windows.h>
// (after windows.h, which it needs)
#include <bcrypt.h>

#include "zip/crypto/aes.h"
#include "zip/crypto/hmac_sha1.h"
#include "zip/crypto/pbkdf2_sha1.h"
#include "zip/crypto/sha1.h"

namespace zipcrypto {

namespace {

// CNG takes ULONG lengths; longer hash input goes in pieces of this many bytes.
constexpr size_t kLargestCall = size_t{1} << 30;

// A valid pointer for zero-length input.
const uint8_t kNothing[1] = {0};

PUCHAR Bytes(const uint8_t* data, size_t length) {
    // CNG's parameters are not const; it only reads these.
    return const_cast<PUCHAR>(length != 0 ? data : kNothing);
}

// The algorithm providers, opened once for the process: opening one is slow, and an open
// provider serves any number of keys and hashes from any thread. A provider that does not
// open stays null, and every operation on it fails.
struct Providers {
    BCRYPT_ALG_HANDLE aes = nullptr;   // AES, chaining mode ECB
    BCRYPT_ALG_HANDLE hmac = nullptr;  // SHA-1 with the HMAC flag (HMAC and PBKDF2)
    BCRYPT_ALG_HANDLE sha1 = nullptr;  // SHA-1

    Providers() {
        if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&aes, BCRYPT_AES_ALGORITHM, nullptr, 0))) {
            aes = nullptr;
        } else if (!BCRYPT_SUCCESS(BCryptSetProperty(
                       aes, BCRYPT_CHAINING_MODE,
                       reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(BCRYPT_CHAIN_MODE_ECB)),
                       sizeof BCRYPT_CHAIN_MODE_ECB, 0))) {
            BCryptCloseAlgorithmProvider(aes, 0);
            aes = nullptr;
        }
        if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&hmac, BCRYPT_SHA1_ALGORITHM, nullptr,
                                                        BCRYPT_ALG_HANDLE_HMAC_FLAG))) {
            hmac = nullptr;
        }
        if (!BCRYPT_SUCCESS(
                BCryptOpenAlgorithmProvider(&sha1, BCRYPT_SHA1_ALGORITHM, nullptr, 0))) {
            sha1 = nullptr;
        }
    }
    ~Providers() {
        for (BCRYPT_ALG_HANDLE provider : {aes, hmac, sha1}) {
            if (provider != nullptr) {
                BCryptCloseAlgorithmProvider(provider, 0);
            }
        }
    }
    Providers(const Providers&) = delete;
    Providers& operator=(const Providers&) = delete;
};

const Providers& GetProviders() {
    static const Providers providers;
    return providers;
}

// Feeds `length` bytes to a hash in pieces CNG can take.
bool HashData(BCRYPT_HASH_HANDLE hash, const uint8_t* data, size_t length) {
    while (length != 0) {
        size_t part = length < kLargestCall ? length : kLargestCall;
        if (!BCRYPT_SUCCESS(BCryptHashData(hash, Bytes(data, part), static_cast<ULONG>(part), 0))) {
            return false;
        }
        data += part;
        length -= part;
    }
    return true;
}

void DestroyHash(BCRYPT_HASH_HANDLE& hash) {
    if (hash != nullptr) {
        BCryptDestroyHash(hash);
        hash = nullptr;
    }
}

}  // namespace

struct CAes::State {
    BCRYPT_KEY_HANDLE key = nullptr;  // null until a key is accepted

    void Destroy() {
        if (key != nullptr) {
            BCryptDestroyKey(key);  // also wipes the key schedule
            key = nullptr;
        }
    }
    ~State() { Destroy(); }
};

CAes::CAes() : m_state(std::make_unique<State>()) {}

CAes::~CAes() = default;

bool CAes::SetKey(const uint8_t* key, size_t length) {
    m_state->Destroy();
    BCRYPT_ALG_HANDLE provider = GetProviders().aes;
    if ((length != 16 && length != 24 && length != 32) || provider == nullptr) {
        return false;
    }
    // No key object buffer: CNG allocates it and frees it with the key.
    if (!BCRYPT_SUCCESS(BCryptGenerateSymmetricKey(provider, &m_state->key, nullptr, 0,
                                                   Bytes(key, length), static_cast<ULONG>(length),
                                                   0))) {
        m_state->key = nullptr;
        return false;
    }
    return true;
}

bool CAes::EncryptBlocks(const uint8_t* in, uint8_t* out, size_t count) {
    if (m_state->key == nullptr || count > kMaxBlocks) {
        return false;
    }
    const ULONG bytes = static_cast<ULONG>(count * kBlockSize);
    ULONG written = 0;
    // In place is allowed: ECB has no chaining to disturb.
    return BCRYPT_SUCCESS(BCryptEncrypt(m_state->key, Bytes(in, bytes), bytes, nullptr, nullptr, 0,
                                        out, bytes, &written, 0)) &&
           written == bytes;
}

struct CHmacSha1::State {
    BCRYPT_HASH_HANDLE start = nullptr;    // keyed, no message yet: copied for each message
    BCRYPT_HASH_HANDLE running = nullptr;  // the message being authenticated

    ~State() {
        DestroyHash(running);
        DestroyHash(start);
    }
};

CHmacSha1::CHmacSha1() : m_state(std::make_unique<State>()) {}

CHmacSha1::~CHmacSha1() = default;

bool CHmacSha1::SetKey(const uint8_t* key, size_t length) {
    DestroyHash(m_state->running);
    DestroyHash(m_state->start);
    BCRYPT_ALG_HANDLE provider = GetProviders().hmac;
    if (provider == nullptr || length > ULONG_MAX ||
        !BCRYPT_SUCCESS(BCryptCreateHash(provider, &m_state->start, nullptr, 0, Bytes(key, length),
                                         static_cast<ULONG>(length), 0))) {
        m_state->start = nullptr;
        return false;
    }
    if (!BCRYPT_SUCCESS(BCryptDuplicateHash(m_state->start, &m_state->running, nullptr, 0, 0))) {
        m_state->running = nullptr;
        return false;
    }
    return true;
}

bool CHmacSha1::Update(const uint8_t* data, size_t length) {
    return m_state->running != nullptr && HashData(m_state->running, data, length);
}

bool CHmacSha1::Final(uint8_t* mac) {
    if (m_state->running == nullptr) {
        return false;
    }
    bool finished =
        BCRYPT_SUCCESS(BCryptFinishHash(m_state->running, mac, static_cast<ULONG>(kDigestSize), 0));
    // A finished hash cannot take more data (reusable hashes are newer than Windows 7): the
    // next message starts from a copy of the keyed state.
    DestroyHash(m_state->running);
    if (!BCRYPT_SUCCESS(BCryptDuplicateHash(m_state->start, &m_state->running, nullptr, 0, 0))) {
        m_state->running = nullptr;
        return false;
    }
    return finished;
}

bool Pbkdf2HmacSha1(const uint8_t* password, size_t passwordLength, const uint8_t* salt,
                    size_t saltLength, uint32_t iterations, uint8_t* out, size_t outLength) {
    BCRYPT_ALG_HANDLE provider = GetProviders().hmac;
    if (provider == nullptr || iterations == 0 || passwordLength > ULONG_MAX ||
        saltLength > ULONG_MAX || outLength > ULONG_MAX) {
        return false;
    }
    return BCRYPT_SUCCESS(BCryptDeriveKeyPBKDF2(
        provider, Bytes(password, passwordLength), static_cast<ULONG>(passwordLength),
        Bytes(salt, saltLength), static_cast<ULONG>(saltLength), iterations, out,
        static_cast<ULONG>(outLength), 0));
}

bool Sha1Digest(const uint8_t* data, size_t length, uint8_t* digest) {
    BCRYPT_ALG_HANDLE provider = GetProviders().sha1;
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (provider == nullptr ||
        !BCRYPT_SUCCESS(BCryptCreateHash(provider, &hash, nullptr, 0, nullptr, 0, 0))) {
        return false;
    }
    bool done =
        HashData(hash, data, length) &&
        BCRYPT_SUCCESS(BCryptFinishHash(hash, digest, static_cast<ULONG>(kSha1DigestSize), 0));
    BCryptDestroyHash(hash);
    return done;
}

}  // namespace zipcrypto

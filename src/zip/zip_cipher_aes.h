// Zip's AES format (AE-1 and AE-2, method 99 with extra field 0x9901): keys derived from
// the password and the entry's salt, AES in counter mode, HMAC-SHA1 over the encrypted
// data checked against the 10-byte authentication code that follows it. The primitives
// are the system library's (zip/crypto).
#pragma once

#include <cstddef>
#include <cstdint>

#include "zip/crypto/aes.h"
#include "zip/crypto/hmac_worker.h"
#include "zip/zip_cipher.h"

/// Decryptor of AES entries (encryption values 1, 2, 3: AES-128, -192, -256). One object
/// serves every strength: each entry's own strength keys it.
class CAesCipher : public CZipCipher {
public:
    /// Rounds of the key derivation.
    static constexpr uint32_t kIterations = 1000;
    /// Bytes of the password verifier and of the authentication code.
    static constexpr size_t kVerifierSize = 2;
    static constexpr size_t kAuthenticationSize = 10;

    /// A cipher for `strength` 1, 2 or 3; CZipError 200 for any other value.
    explicit CAesCipher(uint8_t strength);
    ~CAesCipher() override;
    CAesCipher(const CAesCipher&) = delete;
    CAesCipher& operator=(const CAesCipher&) = delete;

    /// Salt length of a strength (8, 12, 16); 0 outside 1-3.
    static size_t SaltSize(uint8_t strength);
    /// AES key length of a strength (16, 24, 32); 0 outside 1-3.
    static size_t KeySize(uint8_t strength);

    /// Reads the salt and the verifier at the storage's position, derives the keys from
    /// `password` and checks the verifier. True when it matches or `skipCheck`. Throws 200
    /// for a strength outside 1-3, 201 when the entry's compressed size cannot hold salt,
    /// verifier and authentication code, 200 when the cryptographic library fails, and the
    /// storage's errors.
    bool StartDecrypt(const CByteBuffer& password, CZipEntry& entry, CZipSource& storage,
                      bool skipCheck) override;
    /// Authenticates, then decrypts `length` bytes in place; CZipError 200 when the
    /// cryptographic library fails. The first call of an entry keys the cipher, after the
    /// bytes went to the HMAC: the library's first keying of AES takes about a millisecond,
    /// which the HMAC, the slower of the two, then no longer waits for.
    void Decrypt(uint8_t* buffer, size_t length) override;
    /// Reads the authentication code after the data; CZipError 223 when it differs.
    void FinishDecrypt(CZipEntry& entry, CZipSource& storage) override;
    bool Accepts(uint8_t encryption) const override { return encryption >= 1 && encryption <= 3; }

protected:
    /// Keys the counter-mode cipher (16, 24 or 32 bytes) and restarts its counter; CZipError
    /// 200 when the library refuses the key.
    virtual void SetAesKey(const uint8_t* key, size_t length);

private:
    void ForgetAesKey();

    uint8_t m_strength;                    // 1-3, of the entry being decrypted
    uint8_t m_aesKey[32] = {};             // derived, until the first Decrypt keys with it
    size_t m_aesKeySize = 0;               // 0: none waiting
    zipcrypto::CAesCounterMode m_counter;  // the entry's key stream
    zipcrypto::CHmacSha1Worker m_hmac;     // over the encrypted bytes, beside the decryption
};

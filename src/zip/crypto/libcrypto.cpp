// The cryptographic primitives of the Linux build, from OpenSSL's libcrypto: AES through
// the EVP cipher interface in ECB mode (libcrypto picks the processor's AES instructions),
// HMAC-SHA1 through EVP_MAC, PBKDF2 and SHA-1 through their one-call functions.
#include <openssl/evp.h>
#include <openssl/params.h>

#include <climits>

#include "zip/crypto/aes.h"
#include "zip/crypto/hmac_sha1.h"
#include "zip/crypto/pbkdf2_sha1.h"
#include "zip/crypto/sha1.h"

namespace zipcrypto {

namespace {

// A valid pointer for zero-length input, which some libcrypto calls refuse as null.
const uint8_t kNothing[1] = {0};

}  // namespace

struct CAes::State {
    EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();  // null when out of memory
    bool keyed = false;                              // a key was accepted

    ~State() { EVP_CIPHER_CTX_free(context); }  // also wipes the key schedule
};

CAes::CAes() : m_state(std::make_unique<State>()) {}

CAes::~CAes() = default;

bool CAes::SetKey(const uint8_t* key, size_t length) {
    m_state->keyed = false;
    const EVP_CIPHER* cipher = length == 16   ? EVP_aes_128_ecb()
                               : length == 24 ? EVP_aes_192_ecb()
                               : length == 32 ? EVP_aes_256_ecb()
                                              : nullptr;
    if (cipher == nullptr || m_state->context == nullptr ||
        EVP_EncryptInit_ex(m_state->context, cipher, nullptr, key, nullptr) != 1 ||
        EVP_CIPHER_CTX_set_padding(m_state->context, 0) != 1) {
        return false;
    }
    m_state->keyed = true;
    return true;
}

bool CAes::EncryptBlocks(const uint8_t* in, uint8_t* out, size_t count) {
    if (!m_state->keyed || count > kMaxBlocks) {
        return false;
    }
    const int bytes = static_cast<int>(count * kBlockSize);
    int written = 0;
    return EVP_EncryptUpdate(m_state->context, out, &written, in, bytes) == 1 && written == bytes;
}

struct CHmacSha1::State {
    EVP_MAC* mac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);  // null when unavailable
    EVP_MAC_CTX* context = mac != nullptr ? EVP_MAC_CTX_new(mac) : nullptr;
    bool keyed = false;  // a key was accepted

    ~State() {
        EVP_MAC_CTX_free(context);  // also wipes the key
        EVP_MAC_free(mac);
    }
};

CHmacSha1::CHmacSha1() : m_state(std::make_unique<State>()) {}

CHmacSha1::~CHmacSha1() = default;

bool CHmacSha1::SetKey(const uint8_t* key, size_t length) {
    m_state->keyed = false;
    if (m_state->context == nullptr) {
        return false;
    }
    char digest[] = "SHA1";
    const OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string("digest", digest, 0),
                                 OSSL_PARAM_construct_end()};
    if (EVP_MAC_init(m_state->context, length != 0 ? key : kNothing, length, params) != 1) {
        return false;
    }
    m_state->keyed = true;
    return true;
}

bool CHmacSha1::Update(const uint8_t* data, size_t length) {
    return m_state->keyed && (length == 0 || EVP_MAC_update(m_state->context, data, length) == 1);
}

bool CHmacSha1::Final(uint8_t* mac) {
    size_t written = 0;
    // A null key restarts the message with the key already set.
    return m_state->keyed && EVP_MAC_final(m_state->context, mac, &written, kDigestSize) == 1 &&
           written == kDigestSize && EVP_MAC_init(m_state->context, nullptr, 0, nullptr) == 1;
}

bool Pbkdf2HmacSha1(const uint8_t* password, size_t passwordLength, const uint8_t* salt,
                    size_t saltLength, uint32_t iterations, uint8_t* out, size_t outLength) {
    if (iterations == 0 || iterations > INT_MAX || passwordLength > INT_MAX ||
        saltLength > INT_MAX || outLength > INT_MAX) {
        return false;
    }
    return PKCS5_PBKDF2_HMAC_SHA1(
               reinterpret_cast<const char*>(passwordLength != 0 ? password : kNothing),
               static_cast<int>(passwordLength), saltLength != 0 ? salt : kNothing,
               static_cast<int>(saltLength), static_cast<int>(iterations),
               static_cast<int>(outLength), out) == 1;
}

bool Sha1Digest(const uint8_t* data, size_t length, uint8_t* digest) {
    unsigned int written = 0;
    return EVP_Digest(length != 0 ? data : kNothing, length, digest, &written, EVP_sha1(),
                      nullptr) == 1 &&
           written == kSha1DigestSize;
}

}  // namespace zipcrypto

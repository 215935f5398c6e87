// Decryption speed of the primitives on a memory buffer, as the build's library gives them:
// AES-256 on its own (ECB, the library's block encryption), zip's AES-256 counter mode
// built on it, HMAC-SHA1, and the two together as an entry's decryption runs them. Prints
// figures; decides nothing. The whole road, mivo-zip test against 7z t, is
// bench/crypt/mivo-zip-vs-7z.
//
// usage: crypt_bench
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "zip/crypto/aes.h"
#include "zip/crypto/hmac_sha1.h"

namespace {

using Clock = std::chrono::steady_clock;

// Best of five, so that a neighbour's burst on a shared machine counts less.
template <typename F>
double Best(F&& run) {
    double best = 1e300;
    for (int i = 0; i < 5; ++i) {
        auto start = Clock::now();
        run();
        double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        best = elapsed < best ? elapsed : best;
    }
    return best;
}

}  // namespace

int main() {
    // The decoders hand the cipher 128 KB at a time.
    constexpr size_t kPiece = 128 * 1024;
    std::vector<uint8_t> data(64u << 20);
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<uint8_t>(i * 131);
    }
    const double megabytes = static_cast<double>(data.size()) / 1e6;
    uint8_t key[32] = {1, 2, 3};
    bool ok = true;

    zipcrypto::CAes aes;
    ok &= aes.SetKey(key, sizeof key);
    double t = Best([&] {
        ok &=
            aes.EncryptBlocks(data.data(), data.data(), data.size() / zipcrypto::CAes::kBlockSize);
    });
    std::printf("AES-256 blocks (ECB):     %6.0f MB/s\n", megabytes / t);

    zipcrypto::CAesCounterMode ctr;
    ok &= ctr.SetKey(key, sizeof key);
    t = Best([&] {
        for (size_t off = 0; off < data.size(); off += kPiece) {
            ok &= ctr.Process(data.data() + off, kPiece);
        }
    });
    std::printf("AES-256 zip counter mode: %6.0f MB/s\n", megabytes / t);

    zipcrypto::CHmacSha1 hmac;
    ok &= hmac.SetKey(key, 32);
    uint8_t mac[zipcrypto::CHmacSha1::kDigestSize];
    t = Best([&] {
        ok &= hmac.Update(data.data(), data.size());
        ok &= hmac.Final(mac);
    });
    std::printf("HMAC-SHA1:                %6.0f MB/s\n", megabytes / t);

    t = Best([&] {
        for (size_t off = 0; off < data.size(); off += kPiece) {
            ok &= hmac.Update(data.data() + off, kPiece);
            ok &= ctr.Process(data.data() + off, kPiece);
        }
        ok &= hmac.Final(mac);
    });
    std::printf("HMAC-SHA1 + counter mode: %6.0f MB/s\n", megabytes / t);
    if (!ok) {
        std::fprintf(stderr, "crypt_bench: the cryptographic library failed\n");
        return 1;
    }
    return 0;
}

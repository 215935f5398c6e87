// The reader's cryptographic primitives, as the build's library gives them (libcrypto on
// Linux, CNG on Windows, where this file runs under Wine), against published test vectors:
// AES from FIPS-197 appendix C, SHA-1 from RFC 3174 and FIPS 180-4, HMAC-SHA1 from
// RFC 2202, PBKDF2-HMAC-SHA1 from RFC 6070; and the counter mode of zip's AES format
// against a key stream built block by block.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "zip/crypto/aes.h"
#include "zip/crypto/hmac_sha1.h"
#include "zip/crypto/hmac_worker.h"
#include "zip/crypto/pbkdf2_sha1.h"
#include "zip/crypto/sha1.h"

namespace {

std::vector<uint8_t> Hex(const std::string& text) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        bytes.push_back(static_cast<uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

std::string ToHex(const uint8_t* bytes, size_t size) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < size; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0xF];
    }
    return text;
}

std::vector<uint8_t> Bytes(const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

TEST(AesTest, EncryptsTheFips197AppendixCBlocks) {
    struct Case {
        const char* name;
        const char* key;
        const char* cipher;
    };
    const char* plain = "00112233445566778899aabbccddeeff";
    const Case cases[] = {
        {"C.1 AES-128", "000102030405060708090a0b0c0d0e0f", "69c4e0d86a7b0430d8cdb78070b4c55a"},
        {"C.2 AES-192", "000102030405060708090a0b0c0d0e0f1011121314151617",
         "dda97ca4864cdfe06eaf70a0ec0d7191"},
        {"C.3 AES-256", "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
         "8ea2b7ca516745bfeafc49904b496089"},
    };
    zipcrypto::CAes aes;  // one object, keyed again for each case
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> key = Hex(c.key);
        ASSERT_TRUE(aes.SetKey(key.data(), key.size()));
        std::vector<uint8_t> block = Hex(plain);
        // Three copies of the block in one call, in place: ECB, with no chaining between them.
        std::vector<uint8_t> blocks;
        for (int i = 0; i < 3; ++i) {
            blocks.insert(blocks.end(), block.begin(), block.end());
        }
        ASSERT_TRUE(aes.EncryptBlocks(blocks.data(), blocks.data(), 3));
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(ToHex(blocks.data() + 16 * i, 16), c.cipher) << "block " << i;
        }
    }
}

TEST(AesTest, RefusesKeysOfOtherLengths) {
    uint8_t key[33] = {};
    for (size_t length : {0u, 8u, 15u, 17u, 31u, 33u}) {
        SCOPED_TRACE(length);
        zipcrypto::CAes aes;
        EXPECT_FALSE(aes.SetKey(key, length));
        uint8_t block[16] = {};
        EXPECT_FALSE(aes.EncryptBlocks(block, block, 1));
    }
}

// The key stream of zip's AES format, built block by block from the definition: counter
// block i (from 1) has i little-endian in its first 8 bytes and zeros after.
std::vector<uint8_t> ReferenceKeyStream(const std::vector<uint8_t>& key, size_t length,
                                        uint64_t firstCounter = 1) {
    zipcrypto::CAes aes;
    EXPECT_TRUE(aes.SetKey(key.data(), key.size()));
    std::vector<uint8_t> stream;
    for (uint64_t counter = firstCounter; stream.size() < length; ++counter) {
        uint8_t block[16] = {};
        for (int i = 0; i < 8; ++i) {
            block[i] = static_cast<uint8_t>(counter >> (8 * i));
        }
        EXPECT_TRUE(aes.EncryptBlocks(block, block, 1));
        stream.insert(stream.end(), block, block + 16);
    }
    stream.resize(length);
    return stream;
}

TEST(AesCounterModeTest, KeyStreamMatchesTheDefinitionForAnySplitOfTheData) {
    // Pieces of odd sizes cross block borders and the 4096-byte batches of key stream
    // (one library call each); every split must give the same bytes.
    const size_t total = 10000;
    const std::vector<std::vector<size_t>> splits = {{total},
                                                     {1, 15, 16, 17, 9951},
                                                     {4096, 4096, 1808},
                                                     {4095, 2, 4095, 1808},
                                                     {7, 8200, 1793},
                                                     {0, total},
                                                     {4097, 4095, 1808},
                                                     {12, 4090, 8, 5890}};
    std::vector<uint8_t> key =
        Hex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");
    std::vector<uint8_t> expected = ReferenceKeyStream(key, total);
    for (size_t s = 0; s < splits.size(); ++s) {
        SCOPED_TRACE("split " + std::to_string(s));
        zipcrypto::CAesCounterMode ctr;
        ASSERT_TRUE(ctr.SetKey(key.data(), key.size()));
        std::vector<uint8_t> data(total, 0);
        size_t offset = 0;
        for (size_t piece : splits[s]) {
            ASSERT_TRUE(ctr.Process(data.data() + offset, piece));
            offset += piece;
        }
        ASSERT_EQ(offset, total);
        EXPECT_EQ(ToHex(data.data(), data.size()), ToHex(expected.data(), expected.size()));
        // Decryption is the same operation: a restart undoes it.
        ctr.Restart();
        ASSERT_TRUE(ctr.Process(data.data(), data.size()));
        EXPECT_EQ(data, std::vector<uint8_t>(total, 0));
    }
}

TEST(AesCounterModeTest, CounterCarriesIntoItsHigherBytes) {
    // Block 256 has counter bytes 00 01; a counter kept in one byte would repeat block 0.
    std::vector<uint8_t> key(16, 0x42);
    std::vector<uint8_t> expected = ReferenceKeyStream(key, 300 * 16);
    zipcrypto::CAesCounterMode ctr;
    ASSERT_TRUE(ctr.SetKey(key.data(), key.size()));
    std::vector<uint8_t> data(300 * 16, 0);
    ASSERT_TRUE(ctr.Process(data.data(), data.size()));
    EXPECT_EQ(data, expected);
    EXPECT_NE(std::vector<uint8_t>(data.begin() + 256 * 16, data.begin() + 257 * 16),
              std::vector<uint8_t>(data.begin(), data.begin() + 16));
}

TEST(AesCounterModeTest, ANewKeyRestartsTheKeyStream) {
    // The cipher is kept between entries: each entry's key stream starts at counter 1,
    // even when the previous entry stopped inside a block.
    std::vector<uint8_t> first(32, 0x01);
    std::vector<uint8_t> second(32, 0x02);
    zipcrypto::CAesCounterMode ctr;
    ASSERT_TRUE(ctr.SetKey(first.data(), first.size()));
    std::vector<uint8_t> data(37, 0);
    ASSERT_TRUE(ctr.Process(data.data(), data.size()));
    ASSERT_TRUE(ctr.SetKey(second.data(), second.size()));
    std::vector<uint8_t> next(100, 0);
    ASSERT_TRUE(ctr.Process(next.data(), next.size()));
    EXPECT_EQ(next, ReferenceKeyStream(second, 100));
}

TEST(Sha1Test, HashesThePublishedMessages) {
    struct Case {
        const char* name;
        std::string message;
        size_t repeat;
        const char* digest;
    };
    const Case cases[] = {
        {"RFC 3174 test 1", "abc", 1, "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {"RFC 3174 test 2", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", 1,
         "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {"RFC 3174 test 3", "a", 1000000, "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
        {"RFC 3174 test 4", "0123456701234567012345670123456701234567012345670123456701234567", 10,
         "dea356a2cddd90c7a7ecedc5ebb563934f460452"},
        {"empty message", "", 1, "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {"FIPS 180-4 two-block message",
         "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqr"
         "lmnopqrsmnopqrstnopqrstu",
         1, "a49b2446a02c645bf419f995b67091253a04a259"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string message;
        for (size_t i = 0; i < c.repeat; ++i) {
            message += c.message;
        }
        uint8_t digest[zipcrypto::kSha1DigestSize];
        ASSERT_TRUE(zipcrypto::Sha1Digest(reinterpret_cast<const uint8_t*>(message.data()),
                                          message.size(), digest));
        EXPECT_EQ(ToHex(digest, sizeof digest), c.digest);
    }
}

TEST(HmacSha1Test, ComputesTheRfc2202Codes) {
    struct Case {
        int number;
        std::vector<uint8_t> key;
        std::vector<uint8_t> data;
        const char* mac;
    };
    const Case cases[] = {
        {1, std::vector<uint8_t>(20, 0x0b), Bytes("Hi There"),
         "b617318655057264e28bc0b6fb378c8ef146be00"},
        {2, Bytes("Jefe"), Bytes("what do ya want for nothing?"),
         "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"},
        {3, std::vector<uint8_t>(20, 0xaa), std::vector<uint8_t>(50, 0xdd),
         "125d7342b9ac11cd91a39af48aa17b4f63f175d3"},
        {4, Hex("0102030405060708090a0b0c0d0e0f10111213141516171819"),
         std::vector<uint8_t>(50, 0xcd), "4c9007f4026250c6bc8414f9bf50c86c2d7235da"},
        {5, std::vector<uint8_t>(20, 0x0c), Bytes("Test With Truncation"),
         "4c1a03424b55e07fe7f27be1d58bb9324a9a5a04"},
        {6, std::vector<uint8_t>(80, 0xaa),
         Bytes("Test Using Larger Than Block-Size Key - Hash Key First"),
         "aa4ae5e15272d00e95705637ce8a3b55ed402112"},
        {7, std::vector<uint8_t>(80, 0xaa),
         Bytes("Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data"),
         "e8e99d0f45237d786d6bbaa7965c7808bbff1a91"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("RFC 2202 test case " + std::to_string(c.number));
        zipcrypto::CHmacSha1 hmac;
        ASSERT_TRUE(hmac.SetKey(c.key.data(), c.key.size()));
        uint8_t mac[20];
        // Twice with the same key: Final must start the next message with that key.
        for (int round = 0; round < 2; ++round) {
            // In two pieces, split inside the first block.
            size_t half = c.data.size() / 3;
            ASSERT_TRUE(hmac.Update(c.data.data(), half));
            ASSERT_TRUE(hmac.Update(c.data.data() + half, c.data.size() - half));
            ASSERT_TRUE(hmac.Final(mac));
            EXPECT_EQ(ToHex(mac, sizeof mac), c.mac) << "round " << round;
        }
    }
}

// The code of `data` under `key`, from the library in one call.
std::string LibraryHmac(const std::vector<uint8_t>& key, const std::vector<uint8_t>& data) {
    zipcrypto::CHmacSha1 hmac;
    uint8_t mac[20];
    EXPECT_TRUE(hmac.SetKey(key.data(), key.size()));
    EXPECT_TRUE(hmac.Update(data.data(), data.size()));
    EXPECT_TRUE(hmac.Final(mac));
    return ToHex(mac, sizeof mac);
}

TEST(HmacSha1WorkerTest, GivesTheLibrarysCodeWhileTheCallerMovesOn) {
    std::vector<uint8_t> data(6000000);
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<uint8_t>(i * 31 + (i >> 11));
    }
    const std::vector<uint8_t> first(32, 0x11);
    const std::vector<uint8_t> second(24, 0x22);
    // Chunks of uneven sizes, which the caller overwrites after each Update as the
    // decryption does; then the rest at once, more than the worker's queue holds, so the
    // caller waits for free slots.
    auto feed = [&](zipcrypto::CHmacSha1Worker& worker, size_t chunks) {
        std::vector<uint8_t> buffer;
        size_t offset = 0;
        for (size_t c = 0; c < chunks && offset < data.size(); ++c) {
            size_t size = std::min(data.size() - offset, 1000 + c * 9000);
            buffer.assign(data.begin() + offset, data.begin() + offset + size);
            ASSERT_TRUE(worker.Update(buffer.data(), buffer.size()));
            std::fill(buffer.begin(), buffer.end(), 0xEE);
            offset += size;
        }
        if (chunks == SIZE_MAX) {
            ASSERT_TRUE(worker.Update(data.data() + offset, data.size() - offset));
        }
    };
    zipcrypto::CHmacSha1Worker worker;
    uint8_t mac[20];
    EXPECT_FALSE(worker.Update(data.data(), 1)) << "no key yet";
    ASSERT_TRUE(worker.SetKey(first.data(), first.size()));
    feed(worker, SIZE_MAX);
    ASSERT_TRUE(worker.Final(mac));
    EXPECT_EQ(ToHex(mac, sizeof mac), LibraryHmac(first, data));
    // An entry left unfinished: a new key at once, while chunks may still be queued.
    feed(worker, 6);
    ASSERT_TRUE(worker.SetKey(second.data(), second.size()));
    feed(worker, SIZE_MAX);
    ASSERT_TRUE(worker.Final(mac));
    EXPECT_EQ(ToHex(mac, sizeof mac), LibraryHmac(second, data));
}

struct Pbkdf2Case {
    const char* password;
    size_t passwordLength;
    const char* salt;
    size_t saltLength;
    uint32_t iterations;
    const char* derived;
};

void CheckPbkdf2(const Pbkdf2Case& c) {
    std::vector<uint8_t> expected = Hex(c.derived);
    std::vector<uint8_t> out(expected.size());
    ASSERT_TRUE(zipcrypto::Pbkdf2HmacSha1(reinterpret_cast<const uint8_t*>(c.password),
                                          c.passwordLength,
                                          reinterpret_cast<const uint8_t*>(c.salt), c.saltLength,
                                          c.iterations, out.data(), out.size()));
    EXPECT_EQ(ToHex(out.data(), out.size()), c.derived);
}

TEST(Pbkdf2Test, DerivesTheRfc6070Keys) {
    const Pbkdf2Case cases[] = {
        {"password", 8, "salt", 4, 1, "0c60c80f961f0e71f3a9b524af6012062fe037a6"},
        {"password", 8, "salt", 4, 2, "ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957"},
        {"password", 8, "salt", 4, 4096, "4b007901b765489abead49d926f721d065a429c1"},
        {"passwordPASSWORDpassword", 24, "saltSALTsaltSALTsaltSALTsaltSALTsalt", 36, 4096,
         "3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038"},
        {"pass\0word", 9, "sa\0lt", 5, 4096, "56fa6aa75548099dcc37d7f03425e0c3"},
    };
    for (const Pbkdf2Case& c : cases) {
        SCOPED_TRACE(std::string(c.password, c.passwordLength) + " / " +
                     std::to_string(c.iterations));
        CheckPbkdf2(c);
    }
}

// RFC 6070's case of 16777216 iterations takes minutes; run it by hand with
// --gtest_also_run_disabled_tests.
TEST(Pbkdf2Test, DISABLED_DerivesTheRfc6070KeyWith16777216Iterations) {
    CheckPbkdf2({"password", 8, "salt", 4, 16777216, "eefe3d61cd4da4e4e9945b3d6ba2158c2634e984"});
}

}  // namespace

// The reader's side of decryption, through the library on a simulated machine: the cipher
// kept between entries, the skipped password check (0x400), directory entries flagged as
// encrypted, entries too short for their encryption header, the local AES field, and the
// password's lifetime.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "temp_machine.h"
#include "test_archive.h"
#include "zip/zip_cipher_aes.h"
#include "zip/zip_reader.h"

namespace {

namespace fs = std::filesystem;
using ziptest::Entry;

constexpr char kPassword[] = "pass word";

template <typename Action>
int ErrorCode(Action action) {
    try {
        action();
    } catch (const CZipError& error) {
        return error.Code();
    }
    return -1;
}

// A reader that records which ciphers it had to make.
class CCountingReader : public CZipReader {
public:
    std::vector<uint8_t> m_made;  // encryption values MakeCipher was asked for

protected:
    std::unique_ptr<CZipCipher> MakeCipher(uint8_t encryption) override {
        m_made.push_back(encryption);
        return CZipReader::MakeCipher(encryption);
    }
};

class ReaderCryptTest : public ::testing::Test {
protected:
    fs::path Host(const std::string& windowsPath) const { return m_machine.Host(windowsPath); }
    void Write(const std::string& windowsPath, const std::string& bytes) const {
        m_machine.WriteHostFile(m_machine.Host(windowsPath), bytes);
    }
    std::string Read(const std::string& windowsPath) const {
        return testsupport::TempMachine::ReadHostFile(m_machine.Host(windowsPath));
    }
    void Shell(const std::string& command) const {
        ASSERT_EQ(std::system((command + " >/dev/null 2>&1").c_str()), 0) << command;
    }
    // AES extra field: vendor version, "AE", strength, real method.
    static std::string AesField(uint16_t version, uint8_t strength, uint16_t method) {
        return ziptest::ExtraField(0x9901, ziptest::Le16(version) + "AE" +
                                               std::string(1, static_cast<char>(strength)) +
                                               ziptest::Le16(method));
    }

    testsupport::TempMachine m_machine;
};

TEST_F(ReaderCryptTest, KeepsTheCipherWhileTheNextEntryIsOfAKindItAccepts) {
    // One archive, entries added one by one with different encryption: 7z copies the
    // entries it already holds unchanged.
    fs::path folder = Host("C:\\mixed");
    fs::create_directories(folder);
    const std::vector<std::pair<std::string, std::string>> steps = {
        {"a128.txt", "-mem=AES128 -p"},
        {"b256.txt", "-mem=AES256 -p"},
        {"c-zc.txt", "-mem=ZipCrypto -p"},
        {"d-plain.txt", ""},
        {"e192.txt", "-mem=AES192 -p"}};
    for (const auto& [name, options] : steps) {
        std::string bytes;
        for (int i = 0; i < 2000; ++i) {
            bytes += name + " " + std::to_string(i) + "\n";
        }
        std::ofstream(folder / name, std::ios::binary) << bytes;
        std::string password = options.empty() ? "" : std::string("'") + kPassword + "'";
        Shell("cd '" + folder.string() + "' && 7z a -tzip " + options + password + " m.zip " +
              name);
    }
    CCountingReader reader;
    ASSERT_TRUE(reader.Open("C:\\mixed\\m.zip"));
    reader.SetPassword(kPassword);
    ASSERT_EQ(reader.GetEntryCount(), steps.size());
    const uint8_t expected[] = {1, 3, 0, CZipEntry::kNoEncryption, 2};
    for (uint64_t i = 0; i < reader.GetEntryCount(); ++i) {
        CZipEntry& entry = *reader.GetEntryInfo(i);
        SCOPED_TRACE(entry.GetFileName());
        EXPECT_EQ(entry.GetFileName(), steps[i].first);
        EXPECT_EQ(entry.m_encryption, expected[i]);
        EXPECT_TRUE(reader.ExtractEntry(i, "C:\\out"));
        EXPECT_EQ(Read("C:\\out\\" + steps[i].first), Read("C:\\mixed\\" + steps[i].first));
    }
    // AES-128 made one; AES-256 reused it with its own key length; ZipCrypto needed a
    // traditional one; the plain entry none; AES-192 a new AES one.
    EXPECT_EQ(reader.m_made, (std::vector<uint8_t>{1, 0, 2}));
    reader.Close();
}

TEST_F(ReaderCryptTest, SkippedPasswordCheckLetsAWrongPasswordFailOnTheData) {
    fs::path folder = Host("C:\\src");
    fs::create_directories(folder);
    std::string random(100000, '\0');
    std::mt19937 engine(99);
    for (char& c : random) {
        c = static_cast<char>(engine());
    }
    std::ofstream(folder / "r.bin", std::ios::binary) << random;
    struct Case {
        const char* method;
        int code;  // with the check skipped
    };
    const Case cases[] = {{"ZipCrypto", CZipError::kBadCrc},
                          {"AES256", CZipError::kBadAuthentication}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.method);
        std::string archive = std::string("C:\\src\\") + c.method + ".zip";
        Shell("cd '" + folder.string() + "' && 7z a -tzip -mm=Copy -mem=" + c.method + " '-p" +
              kPassword + "' " + c.method + ".zip r.bin");
        for (bool skip : {false, true}) {
            SCOPED_TRACE(skip ? "check skipped" : "checked");
            CZipReader reader;
            uint32_t checks =
                CZipDirectory::kDefaultIgnoredChecks | (skip ? CZipDirectory::kCheckDecryption : 0);
            ASSERT_TRUE(reader.Open(archive, CZipReader::kModeReadOnly, checks));
            std::string out = std::string("C:\\out-") + c.method + (skip ? "-skip" : "");
            // Wrong passwords; each header is random, so several make the outcome certain.
            int refused = 0;
            for (const char* wrong : {"wrong", "Pass word", "pass-word"}) {
                reader.SetPassword(wrong);
                int code = ErrorCode([&] { reader.ExtractEntry(0, out); });
                if (skip) {
                    EXPECT_EQ(code, c.code) << wrong;
                } else if (code == CZipError::kBadPassword) {
                    ++refused;
                }
            }
            if (!skip) {
                EXPECT_GE(refused, 1);
            }
            reader.SetPassword(kPassword);
            EXPECT_TRUE(reader.ExtractEntry(0, out));
            EXPECT_EQ(Read(out + "\\r.bin"), random);
            reader.Close();
        }
    }
}

TEST_F(ReaderCryptTest, EncryptedDirectoryEntriesAreCreatedWithoutAPassword) {
    Write("C:\\d.zip",
          ziptest::Build({{.name = "locked/", .flags = 1, .externalAttr = 0x10},
                          {.name = "locked/f.txt", .data = std::string(40, 'z'), .flags = 1}}));
    CZipReader reader;
    ASSERT_TRUE(reader.Open("C:\\d.zip"));
    EXPECT_TRUE(reader.ExtractEntry(0, "C:\\out"));
    EXPECT_TRUE(fs::is_directory(Host("C:\\out\\locked")));
    EXPECT_TRUE(reader.TestEntry(0));
    // The first file entry: refused before its file exists.
    EXPECT_EQ(ErrorCode([&] { reader.ExtractEntry(1, "C:\\out"); }), CZipError::kBadPassword);
    EXPECT_FALSE(fs::exists(Host("C:\\out\\locked\\f.txt")));
    reader.Close();
}

TEST_F(ReaderCryptTest, EntriesTooShortForTheirEncryptionHeaderAreDamaged) {
    struct Case {
        const char* name;
        Entry entry;
    };
    // A traditional header is 12 bytes; AES-256's salt, verifier and code 16 + 2 + 10. The
    // entry after each holds bytes a reader must not take for the missing header.
    const Case cases[] = {
        {"traditional, 0 bytes", {.name = "t0", .data = "", .flags = 1}},
        {"traditional, 3 bytes", {.name = "t3", .data = "abc", .flags = 1}},
        {"traditional, 11 bytes", {.name = "t11", .data = std::string(11, 'k'), .flags = 1}},
        {"AES-256, 27 bytes",
         {.name = "a27",
          .data = std::string(27, 'k'),
          .flags = 1,
          .method = 99,
          .extra = AesField(2, 3, 0)}},
        {"AES-128, 19 bytes",
         {.name = "a19",
          .data = std::string(19, 'k'),
          .flags = 1,
          .method = 99,
          .extra = AesField(1, 1, 8)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Write("C:\\short.zip",
              ziptest::Build({c.entry, {.name = "next", .data = std::string(64, 'n')}}));
        CZipReader reader;
        ASSERT_TRUE(reader.Open("C:\\short.zip"));
        reader.SetPassword(kPassword);
        for (bool skipCheck : {false, true}) {
            reader.SetIgnoredChecks(CZipDirectory::kDefaultIgnoredChecks |
                                    (skipCheck ? CZipDirectory::kCheckDecryption : 0));
            EXPECT_EQ(ErrorCode([&] { reader.ExtractEntry(0, "C:\\out"); }),
                      CZipError::kBadArchive);
            EXPECT_FALSE(fs::exists(Host(std::string("C:\\out\\") + c.entry.name)));
            EXPECT_EQ(ErrorCode([&] { reader.TestEntry(0); }), CZipError::kBadArchive);
        }
        // The archive stays usable.
        EXPECT_TRUE(reader.ExtractEntry(1, "C:\\out"));
        reader.Close();
    }
}

TEST_F(ReaderCryptTest, LocalAesFieldMustAgreeWithTheCentralOne) {
    // The strength byte and the vendor version of the local field, changed one at a time.
    const std::string name = "a.bin";
    const size_t field = 30 + name.size();  // the local extra field of the first entry
    struct Case {
        const char* what;
        size_t offset;  // in the archive
        char value;
    };
    const Case cases[] = {{"strength 3 -> 1", field + 8, 1}, {"version 2 -> 1", field + 4, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string bytes = ziptest::Build({{.name = name,
                                             .data = std::string(60, 'k'),
                                             .flags = 1,
                                             .method = 99,
                                             .extra = AesField(2, 3, 0)}});
        bytes[c.offset] = c.value;
        Write("C:\\l.zip", bytes);
        CZipReader reader;
        ASSERT_TRUE(reader.Open("C:\\l.zip"));
        reader.SetPassword(kPassword);
        EXPECT_EQ(ErrorCode([&] { reader.ExtractEntry(0, "C:\\out"); }), CZipError::kBadArchive);
        reader.Close();
    }
}

TEST(AesCipherTest, KeyStrengthOutsideOneToThreeIsRefused) {
    for (int strength : {0, 4, 255}) {
        SCOPED_TRACE(strength);
        EXPECT_EQ(ErrorCode([&] { CAesCipher cipher(static_cast<uint8_t>(strength)); }),
                  CZipError::kGeneric);
    }
    for (uint8_t strength : {1, 2, 3}) {
        CAesCipher cipher(strength);
        EXPECT_TRUE(cipher.Accepts(strength));
        EXPECT_FALSE(cipher.Accepts(0));
        EXPECT_FALSE(cipher.Accepts(CZipEntry::kNoEncryption));
    }
}

TEST_F(ReaderCryptTest, OpenAndCloseClearThePassword) {
    fs::path folder = Host("C:\\p");
    fs::create_directories(folder);
    std::ofstream(folder / "f.txt") << "some text for the archive";
    Shell("cd '" + folder.string() + "' && 7z a -tzip -mem=AES256 '-p" + kPassword +
          "' p.zip f.txt");
    CZipReader reader;
    reader.SetPassword(kPassword);  // before Open: dropped by it
    ASSERT_TRUE(reader.Open("C:\\p\\p.zip"));
    EXPECT_EQ(ErrorCode([&] { reader.TestEntry(0); }), CZipError::kBadPassword);
    reader.SetPassword(kPassword);
    EXPECT_TRUE(reader.TestEntry(0));
    reader.Close();
    ASSERT_TRUE(reader.Open("C:\\p\\p.zip"));
    EXPECT_EQ(ErrorCode([&] { reader.TestEntry(0); }), CZipError::kBadPassword);
    reader.Close();
}

}  // namespace

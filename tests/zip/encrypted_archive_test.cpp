// Encrypted archives that real tools make at test time — 7z (AES-128/192/256, which write
// AE-2, and ZipCrypto), bsdtar (AES-256, which writes AE-1 for files of 20 bytes or more,
// and traditional), Info-ZIP zip -P (traditional, checked with the time) — stored and
// deflated, read through mivo-zip and compared with what 7z extracts; then the failures:
// no password, a wrong one, altered data, altered authentication codes.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "temp_machine.h"
#include "zip/zip_reader.h"

namespace {

namespace fs = std::filesystem;

constexpr char kPassword[] = "s3cret-Pass";

struct CommandRun {
    int status = -1;
    std::string err;
};

// The input files: empty, below AE-1's 20 bytes, compressible over several blocks,
// incompressible over several of the decoders' 128 KB input buffers.
struct SourceFile {
    const char* name;
    std::string bytes;
};

std::vector<SourceFile> MakeSources() {
    std::string text;
    for (int i = 0; text.size() < 150000; ++i) {
        text += "line " + std::to_string(i) + " of a compressible text\n";
    }
    std::string random(300000, '\0');
    std::mt19937 engine(1234);
    for (char& c : random) {
        c = static_cast<char>(engine());
    }
    return {{"empty.txt", ""}, {"small.txt", "short"}, {"text.txt", text}, {"random.bin", random}};
}

// One way of making an encrypted archive.
struct Maker {
    const char* name;
    const char* command;  // run in the sources' folder; OUT is the archive, PW the password
    bool stored;          // every file entry is stored (else text.txt is deflated)
};

const Maker kMakers[] = {
    {"7z AES-128 stored", "7z a -tzip -mem=AES128 -mm=Copy -pPW OUT FILES", true},
    {"7z AES-128 deflate", "7z a -tzip -mem=AES128 -mm=Deflate -pPW OUT FILES", false},
    {"7z AES-192 stored", "7z a -tzip -mem=AES192 -mm=Copy -pPW OUT FILES", true},
    {"7z AES-192 deflate", "7z a -tzip -mem=AES192 -mm=Deflate -pPW OUT FILES", false},
    {"7z AES-256 stored", "7z a -tzip -mem=AES256 -mm=Copy -pPW OUT FILES", true},
    {"7z AES-256 deflate", "7z a -tzip -mem=AES256 -mm=Deflate -pPW OUT FILES", false},
    {"7z ZipCrypto stored", "7z a -tzip -mem=ZipCrypto -mm=Copy -pPW OUT FILES", true},
    {"7z ZipCrypto deflate", "7z a -tzip -mem=ZipCrypto -mm=Deflate -pPW OUT FILES", false},
    {"bsdtar AES-256 stored",
     "bsdtar --format zip --options zip:encryption=aes256,zip:compression=store --passphrase PW "
     "-cf OUT FILES",
     true},
    {"bsdtar AES-256 deflate",
     "bsdtar --format zip --options zip:encryption=aes256 --passphrase PW -cf OUT FILES", false},
    {"bsdtar traditional stored",
     "bsdtar --format zip --options zip:encryption=traditional,zip:compression=store "
     "--passphrase PW -cf OUT FILES",
     true},
    {"bsdtar traditional deflate",
     "bsdtar --format zip --options zip:encryption=traditional --passphrase PW -cf OUT FILES",
     false},
    {"zip -P stored", "zip -q -0 -P PW OUT FILES", true},
    {"zip -P deflate", "zip -q -9 -P PW OUT FILES", false},
};

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// A path in single quotes for the shell; appended piece by piece, because GCC 12 warns
// falsely (-Wrestrict) about "'" + path.string() in Release builds.
std::string Quoted(const fs::path& path) {
    std::string quoted = "'";
    quoted += path.string();
    quoted += "'";
    return quoted;
}

std::string ReadFile(const fs::path& path) {
    return testsupport::TempMachine::ReadHostFile(path.string());
}

// The files below a folder, by relative path, with their bytes.
std::map<std::string, std::string> Tree(const fs::path& folder) {
    std::map<std::string, std::string> files;
    if (!fs::exists(folder)) {
        return files;
    }
    for (const auto& item : fs::recursive_directory_iterator(folder)) {
        if (item.is_regular_file()) {
            files[fs::relative(item.path(), folder).string()] = ReadFile(item.path());
        }
    }
    return files;
}

// The reader's code in mivo-zip's error line; -1 when there is none.
int ErrorCodeOf(const CommandRun& run) {
    int code = -1;
    if (std::sscanf(run.err.c_str(), "mivo-zip: error %d:", &code) != 1) {
        return -1;
    }
    return code;
}

class EncryptedArchiveTest : public ::testing::Test {
protected:
    EncryptedArchiveTest() {
        fs::create_directories(SourceFolder());
        for (const SourceFile& file : MakeSources()) {
            std::ofstream(SourceFolder() / file.name, std::ios::binary) << file.bytes;
        }
    }

    fs::path Root() const { return fs::path(m_machine.Folder()) / "drive_c" / "crypt"; }
    fs::path SourceFolder() const { return Root() / "src"; }

    CommandRun Shell(const std::string& command) const {
        fs::path errFile = fs::path(m_machine.Folder()) / "stderr.txt";
        CommandRun run;
        int status = std::system((command + " >/dev/null 2>'" + errFile.string() + "'").c_str());
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.err = ReadFile(errFile);
        return run;
    }

    // Makes the archive `file` below Root() with `maker`; fails the test when the tool fails.
    fs::path Make(const Maker& maker, const std::string& file, const std::string& files = "") {
        fs::path archive = Root() / file;
        std::string command = Replace(maker.command, "OUT", Quoted(archive));
        command = Replace(command, "PW", kPassword);
        command = Replace(command, "FILES",
                          files.empty() ? "random.bin text.txt small.txt empty.txt" : files);
        CommandRun run = Shell("cd '" + SourceFolder().string() + "' && " + command);
        EXPECT_EQ(run.status, 0) << maker.name << ": " << run.err;
        return archive;
    }

    // The file entries of `archive` that are encrypted, by the library's listing.
    int EncryptedEntries(const fs::path& archive) const {
        CZipReader reader;
        std::string windows = "C:\\crypt\\" + archive.filename().string();
        EXPECT_TRUE(
            reader.Open(windows, CZipReader::kModeReadOnly, CZipDirectory::kDefaultIgnoredChecks));
        int count = 0;
        for (uint64_t i = 0; i < reader.GetEntryCount(); ++i) {
            CZipEntry& entry = *reader.GetEntryInfo(i);
            count += entry.m_encryption != CZipEntry::kNoEncryption && !entry.IsDirectory();
        }
        reader.Close();
        return count;
    }

    // The entries 7z refuses at their password check ("Wrong password", not the "Wrong
    // password?" of data that fails after the check) when testing `archive` with `password`.
    int SevenZipRefusals(const fs::path& archive, const std::string& password) const {
        CommandRun run = Shell("7z t '-p" + password + "' '" + archive.string() + "'");
        int count = 0;
        for (size_t at = run.err.find("ERROR: Wrong password : "); at != std::string::npos;
             at = run.err.find("ERROR: Wrong password : ", at + 1)) {
            ++count;
        }
        return count;
    }

    CommandRun MivoZip(const std::string& arguments) const {
        return Shell(std::string(MIVO_ZIP_TOOL) + " " + arguments);
    }

    CommandRun Extract(const fs::path& archive, const fs::path& folder,
                       const std::string& password) const {
        std::string option = password.empty() ? "" : "--password '" + password + "' ";
        return MivoZip("extract " + option + "'" + archive.string() + "' '" + folder.string() +
                       "'");
    }

    // Opens `archive` (below drive C:) with the library.
    void OpenWithLibrary(CZipReader& reader, const fs::path& archive,
                         uint32_t ignoredChecks = CZipDirectory::kDefaultIgnoredChecks) const {
        std::string windows = "C:\\crypt\\" + archive.filename().string();
        ASSERT_TRUE(reader.Open(windows, CZipReader::kModeReadOnly, ignoredChecks));
    }

    // Offset of the first byte of an entry's data (after its local header) in the file.
    uint64_t DataOffset(const fs::path& archive, CZipEntry& entry) const {
        std::string bytes = ReadFile(archive);
        size_t local = static_cast<size_t>(entry.m_localOffset);
        auto get16 = [&](size_t at) {
            return static_cast<unsigned>(static_cast<uint8_t>(bytes[at])) |
                   (static_cast<unsigned>(static_cast<uint8_t>(bytes[at + 1])) << 8);
        };
        return local + 30 + get16(local + 26) + get16(local + 28);
    }

    static void FlipByte(const fs::path& archive, uint64_t offset) {
        std::fstream file(archive, std::ios::in | std::ios::out | std::ios::binary);
        file.seekg(static_cast<std::streamoff>(offset));
        char byte = 0;
        file.read(&byte, 1);
        file.seekp(static_cast<std::streamoff>(offset));
        byte = static_cast<char>(byte ^ 0x5A);
        file.write(&byte, 1);
    }

    testsupport::TempMachine m_machine;
};

TEST_F(EncryptedArchiveTest, ExtractsWhatEveryToolEncryptsByteForByteAsSevenZip) {
    const std::map<std::string, std::string> originals = Tree(SourceFolder());
    ASSERT_EQ(originals.size(), 4u);
    int index = 0;
    for (const Maker& maker : kMakers) {
        SCOPED_TRACE(maker.name);
        std::string tag = std::to_string(index++);
        fs::path archive = Make(maker, "a" + tag + ".zip");

        // The archive is what the case claims: every file entry with data is encrypted,
        // stored where asked, and of the expected kind.
        {
            CZipReader reader;
            OpenWithLibrary(reader, archive);
            bool deflated = false;
            for (uint64_t i = 0; i < reader.GetEntryCount(); ++i) {
                CZipEntry& entry = *reader.GetEntryInfo(i);
                std::string name = entry.GetFileName();
                deflated |= entry.m_method == CZipEntry::kMethodDeflate;
                if (entry.m_uncompressedSize == 0 && std::string(maker.name).find("bsdtar") == 0) {
                    continue;  // bsdtar leaves empty files unencrypted
                }
                EXPECT_NE(entry.m_encryption, CZipEntry::kNoEncryption) << name;
                if (std::string(maker.name).find("AES") != std::string::npos) {
                    const uint8_t strength =
                        std::string(maker.name).find("128") != std::string::npos   ? 1
                        : std::string(maker.name).find("192") != std::string::npos ? 2
                                                                                   : 3;
                    EXPECT_EQ(entry.m_encryption, strength) << name;
                    // 7z writes AE-2 throughout; bsdtar AE-1 from 20 bytes on.
                    bool ae2 =
                        std::string(maker.name).find("7z") == 0 || entry.m_uncompressedSize < 20;
                    EXPECT_EQ(entry.m_ignoreCrc, ae2) << name;
                } else {
                    EXPECT_EQ(entry.m_encryption, CZipEntry::kTraditionalEncryption) << name;
                }
                if (std::string(maker.name).find("zip -P") == 0) {
                    // Info-ZIP streams: the check byte is the time's high byte.
                    EXPECT_NE(entry.m_flags & CZipEntry::kFlagDataDescriptor, 0) << name;
                }
            }
            EXPECT_EQ(deflated, !maker.stored);
            reader.Close();
        }

        fs::path ours = Root() / ("ours" + tag);
        CommandRun run = Extract(archive, ours, kPassword);
        EXPECT_EQ(run.status, 0) << run.err;
        fs::path reference = Root() / ("7z" + tag);
        CommandRun sevenZip = Shell("7z x -y -p" + std::string(kPassword) + " -o'" +
                                    reference.string() + "' '" + archive.string() + "'");
        ASSERT_EQ(sevenZip.status, 0) << sevenZip.err;
        EXPECT_EQ(Tree(ours), Tree(reference));
        EXPECT_EQ(Tree(ours), originals);

        CommandRun test =
            MivoZip("test --password " + std::string(kPassword) + " '" + archive.string() + "'");
        EXPECT_EQ(test.status, 0) << test.err;
    }
}

TEST_F(EncryptedArchiveTest, NoPasswordOrAWrongOneIsRefusedBeforeAnythingIsWritten) {
    int index = 0;
    for (const Maker& maker : kMakers) {
        SCOPED_TRACE(maker.name);
        std::string tag = std::to_string(index++);
        fs::path archive = Make(maker, "a" + tag + ".zip");

        fs::path none = Root() / ("none" + tag);
        CommandRun run = Extract(archive, none, "");
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(ErrorCodeOf(run), CZipError::kBadPassword) << run.err;
        EXPECT_TRUE(Tree(none).empty());
        CommandRun test = MivoZip("test '" + archive.string() + "'");
        EXPECT_EQ(ErrorCodeOf(test), CZipError::kBadPassword) << test.err;

        // A wrong password passes the one-byte check of traditional entries one time in 256
        // (the two-byte AES verifier one time in 65536), and the encryption headers are
        // random. An entry that passes by chance is decrypted into garbage, and an empty one
        // (CRC 0) is even written whole. So the wrong passwords are chosen per archive: 7z
        // must refuse every encrypted entry with each of them at its check. Those the
        // reader must refuse with 213 before anything is written.
        const int encrypted = EncryptedEntries(archive);
        ASSERT_GT(encrypted, 0);
        int tried = 0;
        int refused = 0;
        for (std::string wrong : {"s3cret-pass", "S3cret-Pass", "s3cret-Pass ", "wrong-1",
                                  "wrong-2", "wrong-3", "wrong-4", "wrong-5", "wrong-6"}) {
            if (refused == 3) {
                break;
            }
            ++tried;
            if (SevenZipRefusals(archive, wrong) != encrypted) {
                continue;  // passes some entry's check by chance
            }
            SCOPED_TRACE(wrong);
            fs::path folder = Root() / ("wrong" + tag + "-" + std::to_string(tried));
            CommandRun attempt = Extract(archive, folder, wrong);
            EXPECT_EQ(attempt.status, 1);
            EXPECT_EQ(ErrorCodeOf(attempt), CZipError::kBadPassword) << attempt.err;
            EXPECT_TRUE(Tree(folder).empty());
            ++refused;
        }
        EXPECT_EQ(refused, 3) << "7z let too many wrong passwords through";
    }
}

// Each case alters one byte of random.bin's entry: inside its encrypted data, or in the
// authentication code that follows AES data.
TEST_F(EncryptedArchiveTest, AlteredDataOrAuthenticationCodeFails) {
    struct Case {
        size_t maker;             // index in kMakers
        bool authenticationCode;  // alter the code instead of the data
        std::vector<int> codes;   // acceptable results
    };
    const Case cases[] = {
        // AE-2 has no CRC: only the authentication code can tell.
        {4, false, {CZipError::kBadAuthentication}},
        {0, true, {CZipError::kBadAuthentication}},
        // AE-1: the code is compared before the CRC of the data. An altered deflate stream may
        // also break (a zlib code) or end before the entry's size (code 0: not extracted).
        {8, false, {CZipError::kBadAuthentication}},
        {8, true, {CZipError::kBadAuthentication}},
        {9, false, {CZipError::kBadAuthentication, CZipError::kZlibDataError, 0}},
        // Traditional: the CRC, or zlib when the deflate stream breaks.
        {6, false, {CZipError::kBadCrc}},
        {12, false, {CZipError::kBadCrc}},
        {13, false, {CZipError::kBadCrc, CZipError::kZlibDataError, CZipError::kZlibBufError, 0}},
    };
    int index = 0;
    for (const Case& c : cases) {
        const Maker& maker = kMakers[c.maker];
        SCOPED_TRACE(std::string(maker.name) + (c.authenticationCode ? ", code" : ", data"));
        std::string tag = std::to_string(index++);
        fs::path archive = Make(maker, "x" + tag + ".zip", "random.bin small.txt");
        uint64_t at = 0;
        {
            CZipReader reader;
            OpenWithLibrary(reader, archive);
            CZipEntry* target = nullptr;
            for (uint64_t i = 0; i < reader.GetEntryCount(); ++i) {
                if (reader.GetEntryInfo(i)->GetFileName() == "random.bin") {
                    target = reader.GetEntryInfo(i);
                }
            }
            ASSERT_NE(target, nullptr);
            uint64_t start = DataOffset(archive, *target);
            at = c.authenticationCode ? start + target->m_compressedSize - 1
                                      : start + target->EncryptionOverhead() + 100000;
            reader.Close();
        }
        FlipByte(archive, at);
        CommandRun run = Extract(archive, Root() / ("out" + tag), kPassword);
        EXPECT_EQ(run.status, 1);
        int code = ErrorCodeOf(run);
        EXPECT_NE(std::find(c.codes.begin(), c.codes.end(), code), c.codes.end()) << run.err;
    }
}

}  // namespace

namespace {

TEST_F(EncryptedArchiveTest, PasswordOptionStandsAnywhereAfterTheProgramName) {
    fs::path archive = Make(kMakers[4], "p.zip", "small.txt");
    const std::string a = Quoted(archive);
    const std::string pw = std::string("'") + kPassword + "'";
    struct Case {
        std::string arguments;
        int status;
    };
    const Case cases[] = {
        {"test --password " + pw + " " + a, 0},
        {"--password " + pw + " test " + a, 0},
        {"test " + a + " --password " + pw, 0},
        {"list --password " + pw + " " + a, 0},
        {"list " + a, 0},                  // listing needs no password
        {"test " + a + " --password", 2},  // the option without its value
        {"test --password " + pw + " --password " + pw + " " + a, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        CommandRun run = MivoZip(c.arguments);
        EXPECT_EQ(run.status, c.status) << run.err;
    }
}

}  // namespace

// Contract of the file services: names without regard to case, read-only and the other
// attribute bits, enumeration order and patterns, copy, delete and folder semantics, the
// current folder, drives. Each expectation is what Windows answers for the same call.
#include "platform/files.h"
#include "host_files.h"
#include "platform/crt_errno.h"
#include "platform/errors.h"
#include "platform/posix/machine.h"
#include "platform_test_util.h"
#include "temp_machine.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <regex>

namespace {

using platform::LastError;
using platformtest::DosAttribXattr;
using platformtest::HostExists;
using platformtest::HostMode;
using platformtest::ListNames;
using platformtest::WithoutDots;

class FilesTest : public testsupport::MachineTest {
protected:
    // Makes a file on drive C: through the host, so the platform meets it as found.
    void Put(const std::string& windowsPath, const std::string& contents = "x") {
        m_machine.WriteHostFile(m_machine.Host(windowsPath), contents);
    }
    void PutFolder(const std::string& windowsPath) {
        std::filesystem::create_directories(m_machine.Host(windowsPath));
    }
    std::string Host(const std::string& windowsPath) const { return m_machine.Host(windowsPath); }
    std::string HostContents(const std::string& windowsPath) const {
        return testsupport::TempMachine::ReadHostFile(Host(windowsPath));
    }
    void SetHostModified(const std::string& windowsPath, int64_t seconds) {
        const struct timeval times[2] = {{static_cast<time_t>(seconds), 0},
                                         {static_cast<time_t>(seconds), 0}};
        ASSERT_EQ(utimes(Host(windowsPath).c_str(), times), 0);
    }
};

// ---------------------------------------------------------------------------------------
// Names without regard to case.

struct CaseRow {
    const char* stored;  // the name as it lies on the host
    const char* asked;   // the name the caller uses
};

const CaseRow kCaseRows[] = {
    {"C:\\Data\\Report.TXT", "c:\\DATA\\report.txt"},
    {"C:\\Data\\Report.TXT", "C:\\data\\REPORT.Txt"},
    {"C:\\자료\\시험 안내.txt", "C:\\자료\\시험 안내.TXT"},
    {"C:\\Café\\Übung.dat", "C:\\CAFÉ\\übung.DAT"},
    {"C:\\Отчёт\\Файл.txt", "C:\\отчЁт\\фАЙЛ.txt"},
    {"C:\\Data\\Report.TXT", "\\\\?\\C:\\data\\report.TXT"},
    {"C:\\Data\\Report.TXT", "C:/data/report.txt"},
};

TEST_F(FilesTest, NamesResolveWithoutRegardToCase) {
    for (const CaseRow& row : kCaseRows) {
        SCOPED_TRACE(std::string(row.stored) + " asked as " + row.asked);
        Put(row.stored, "contents");
        EXPECT_TRUE(platform::FileExists(row.asked));

        const uint32_t attributes = platform::FileAttributes(row.asked);
        EXPECT_NE(attributes, platform::kInvalidAttributes);
        EXPECT_EQ(attributes & platform::kAttrDirectory, 0u);

        platform::FileStatus status;
        EXPECT_TRUE(platform::ReadFileStatus(row.asked, status));
        EXPECT_EQ(status.size, 8u);

        int error = -1;
        EXPECT_EQ(platformtest::ReadThroughPlatform(row.asked, error), "contents");
        EXPECT_EQ(error, 0);

        // An enumeration asked with another case reports the name as stored.
        platform::FileFinder finder;
        platform::FindData data;
        ASSERT_TRUE(finder.First(row.asked, data)) << "LastError " << LastError();
        const std::string stored = row.stored;
        EXPECT_EQ(data.name, stored.substr(stored.rfind('\\') + 1));
        finder.Close();

        EXPECT_TRUE(platform::RemoveFile(row.asked)) << "LastError " << LastError();
        EXPECT_FALSE(HostExists(Host(row.stored)));
    }
}

TEST_F(FilesTest, NewNamesGoIntoTheExistingFolderOfAnotherCase) {
    Put("C:\\Data\\Report.TXT", "old");

    // The folder exists under another case: no second folder appears.
    EXPECT_FALSE(platform::MakeFolder("C:\\DATA"));
    EXPECT_EQ(LastError(), platform::kErrorAlreadyExists);
    ASSERT_TRUE(platform::MakeFolder("C:\\DATA\\Sub")) << "LastError " << LastError();
    EXPECT_TRUE(std::filesystem::is_directory(Host("C:\\Data\\Sub")));

    platform::CrtFile created;
    ASSERT_EQ(
        created.Open("C:\\data\\NEW.bin", platform::CrtFile::kWrite | platform::CrtFile::kCreate,
                     platform::CrtFile::kDenyNone),
        0);
    created.Close();
    EXPECT_TRUE(HostExists(Host("C:\\Data\\NEW.bin")));

    // Creating an existing file under another case opens that file, keeping its name.
    platform::CrtFile again;
    ASSERT_EQ(again.Open("C:\\DATA\\report.txt",
                         platform::CrtFile::kWrite | platform::CrtFile::kCreate |
                             platform::CrtFile::kTruncate,
                         platform::CrtFile::kDenyNone),
              0);
    again.Close();
    EXPECT_EQ(HostContents("C:\\Data\\Report.TXT"), "");

    // Copying onto an existing file under another case replaces it and keeps its name.
    Put("C:\\Other\\source.txt", "new");
    ASSERT_TRUE(platform::CopyOneFile("C:\\Other\\source.txt", "C:\\DATA\\REPORT.txt", false))
        << "LastError " << LastError();
    EXPECT_EQ(HostContents("C:\\Data\\Report.TXT"), "new");
    EXPECT_EQ(WithoutDots(ListNames("C:\\Data\\*")),
              (std::vector<std::string>{"NEW.bin", "Report.TXT", "Sub"}));
}

// ---------------------------------------------------------------------------------------
// Read-only: the missing owner write bit, refused with 5 (13 for the C runtime) even when
// the process runs as root, as an administrator is refused on Windows.

TEST_F(FilesTest, ReadOnlyFileIsRefusedEvenToRoot) {
    const std::string ro = "C:\\Locked\\answer.dat";
    Put(ro, "keep me");
    Put("C:\\Locked\\other.dat", "other");
    ASSERT_TRUE(platform::ChangeFileAttributes(ro, platform::kAttrReadOnly));
    EXPECT_NE(platform::FileAttributes(ro) & platform::kAttrReadOnly, 0u);
    EXPECT_EQ(HostMode(Host(ro)) & S_IWUSR, 0u) << "read-only is the missing owner write bit";

    EXPECT_FALSE(platform::RemoveFile(ro));
    EXPECT_EQ(LastError(), platform::kErrorAccessDenied);
    EXPECT_TRUE(HostExists(Host(ro)));

    struct OpenRow {
        int flags;
        int expected;
    };
    const OpenRow opens[] = {
        {platform::CrtFile::kWrite, platform::kErrnoAccess},
        {platform::CrtFile::kReadWrite, platform::kErrnoAccess},
        {platform::CrtFile::kWrite | platform::CrtFile::kCreate | platform::CrtFile::kTruncate,
         platform::kErrnoAccess},
        {platform::CrtFile::kRead, 0},
    };
    for (const OpenRow& row : opens) {
        SCOPED_TRACE("open flags " + std::to_string(row.flags));
        platform::CrtFile file;
        EXPECT_EQ(file.Open(ro, row.flags, platform::CrtFile::kDenyNone), row.expected);
    }

    EXPECT_FALSE(platform::CopyOneFile("C:\\Locked\\other.dat", ro, false));
    EXPECT_EQ(LastError(), platform::kErrorAccessDenied);
    EXPECT_FALSE(platform::CopyOneFile("C:\\Locked\\other.dat", ro, true));
    EXPECT_EQ(LastError(), platform::kErrorFileExists);
    EXPECT_EQ(HostContents(ro), "keep me");

    ASSERT_TRUE(platform::ChangeFileAttributes(ro, platform::kAttrNormal));
    EXPECT_EQ(platform::FileAttributes(ro) & platform::kAttrReadOnly, 0u);
    EXPECT_TRUE(platform::RemoveFile(ro)) << "LastError " << LastError();
    EXPECT_FALSE(HostExists(Host(ro)));
}

TEST_F(FilesTest, HostFileWithoutWriteBitIsReadOnly) {
    Put("C:\\Shipped\\data.bin");
    ASSERT_EQ(chmod(Host("C:\\Shipped\\data.bin").c_str(), 0444), 0);
    EXPECT_NE(platform::FileAttributes("C:\\Shipped\\data.bin") & platform::kAttrReadOnly, 0u);
    EXPECT_FALSE(platform::RemoveFile("C:\\Shipped\\data.bin"));
    EXPECT_EQ(LastError(), platform::kErrorAccessDenied);
}

TEST_F(FilesTest, ReadOnlyFolderRefusesRemovalButTakesNewFiles) {
    PutFolder("C:\\Frozen");
    ASSERT_TRUE(platform::ChangeFileAttributes("C:\\Frozen", platform::kAttrReadOnly));
    EXPECT_EQ(platform::FileAttributes("C:\\Frozen"),
              platform::kAttrDirectory | platform::kAttrReadOnly);

    // On Windows the read-only bit of a folder does not stop files being made inside it.
    platform::CrtFile file;
    EXPECT_EQ(
        file.Open("C:\\Frozen\\new.txt", platform::CrtFile::kWrite | platform::CrtFile::kCreate,
                  platform::CrtFile::kDenyNone),
        0);
    file.Close();
    ASSERT_TRUE(platform::RemoveFile("C:\\Frozen\\new.txt")) << "LastError " << LastError();

    EXPECT_FALSE(platform::RemoveFolder("C:\\Frozen"));
    EXPECT_EQ(LastError(), platform::kErrorAccessDenied);
    EXPECT_TRUE(std::filesystem::is_directory(Host("C:\\Frozen")));
    ASSERT_TRUE(platform::ChangeFileAttributes("C:\\Frozen", platform::kAttrNormal));
    EXPECT_TRUE(platform::RemoveFolder("C:\\Frozen")) << "LastError " << LastError();
}

// ---------------------------------------------------------------------------------------
// Hidden, system and archive in user.DOSATTRIB as "0x%x" (the form Samba and Wine use).

TEST_F(FilesTest, HiddenSystemArchiveLiveInDosAttribXattr) {
    const uint32_t kHsa = platform::kAttrHidden | platform::kAttrSystem | platform::kAttrArchive;
    const uint32_t rows[] = {
        platform::kAttrHidden,
        platform::kAttrSystem,
        platform::kAttrArchive,
        platform::kAttrHidden | platform::kAttrSystem,
        kHsa,
        platform::kAttrHidden | platform::kAttrReadOnly,
    };
    const std::regex hexForm("0x[0-9a-fA-F]+");
    for (const uint32_t bits : rows) {
        SCOPED_TRACE("attributes " + std::to_string(bits));
        const std::string path = "C:\\Attr\\file.txt";
        Put(path);
        ASSERT_TRUE(platform::ChangeFileAttributes(path, bits)) << "LastError " << LastError();
        EXPECT_EQ(platform::FileAttributes(path) & (kHsa | platform::kAttrReadOnly), bits);

        bool present = false;
        std::string value = DosAttribXattr(Host(path), present);
        ASSERT_TRUE(present);
        if (!value.empty() && value.back() == '\0') {
            value.pop_back();  // Samba stores the terminator, Wine does not: both are read
        }
        EXPECT_TRUE(std::regex_match(value, hexForm)) << "value \"" << value << "\"";
        EXPECT_EQ(std::strtoul(value.c_str(), nullptr, 16) & kHsa, bits & kHsa);

        platform::FindData data;
        platform::FileFinder finder;
        ASSERT_TRUE(finder.First(path, data));
        EXPECT_EQ(data.attributes & (kHsa | platform::kAttrReadOnly), bits);
        finder.Close();

        // "Normal" clears every bit, and Windows then answers exactly FILE_ATTRIBUTE_NORMAL.
        ASSERT_TRUE(platform::ChangeFileAttributes(path, platform::kAttrNormal));
        EXPECT_EQ(platform::FileAttributes(path), platform::kAttrNormal);
        value = DosAttribXattr(Host(path), present);
        EXPECT_TRUE(!present || (std::strtoul(value.c_str(), nullptr, 16) & kHsa) == 0);
        ASSERT_TRUE(platform::RemoveFile(path)) << "LastError " << LastError();
    }
}

TEST_F(FilesTest, DosAttribWrittenByOtherToolsIsRead) {
    struct Row {
        std::string value;  // bytes of the attribute as another tool wrote it
        uint32_t expected;
    };
    const Row rows[] = {
        {"0x2", platform::kAttrHidden},
        {std::string("0x22\0", 5), platform::kAttrHidden | platform::kAttrArchive},
        {"0x6", platform::kAttrHidden | platform::kAttrSystem},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE("DOSATTRIB \"" + row.value + "\"");
        Put("C:\\Foreign\\f.txt");
        ASSERT_EQ(setxattr(Host("C:\\Foreign\\f.txt").c_str(), "user.DOSATTRIB", row.value.data(),
                           row.value.size(), 0),
                  0);
        const uint32_t kHsa =
            platform::kAttrHidden | platform::kAttrSystem | platform::kAttrArchive;
        EXPECT_EQ(platform::FileAttributes("C:\\foreign\\F.TXT") & kHsa, row.expected);
    }
}

TEST_F(FilesTest, FolderAttributesAndMissingPaths) {
    PutFolder("C:\\Box");
    EXPECT_EQ(platform::FileAttributes("C:\\Box"), platform::kAttrDirectory);
    ASSERT_TRUE(platform::ChangeFileAttributes("C:\\Box", platform::kAttrHidden));
    EXPECT_EQ(platform::FileAttributes("C:\\Box"),
              platform::kAttrDirectory | platform::kAttrHidden);
    platform::FileStatus folderStatus;
    ASSERT_TRUE(platform::ReadFileStatus("c:\\BOX", folderStatus));
    EXPECT_EQ(folderStatus.size, 0u);
    EXPECT_EQ(folderStatus.attributes, platform::kAttrDirectory | platform::kAttrHidden);
    EXPECT_GT(folderStatus.modified, 0);

    struct Row {
        const char* path;
        uint32_t error;
    };
    const Row rows[] = {
        {"C:\\Box\\missing.txt", platform::kErrorFileNotFound},
        {"C:\\Missing\\file.txt", platform::kErrorPathNotFound},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        EXPECT_EQ(platform::FileAttributes(row.path), platform::kInvalidAttributes);
        EXPECT_EQ(LastError(), row.error);
        EXPECT_FALSE(platform::ChangeFileAttributes(row.path, platform::kAttrHidden));
        EXPECT_EQ(LastError(), row.error);
        EXPECT_FALSE(platform::FileExists(row.path));
        platform::FileStatus status;
        EXPECT_FALSE(platform::ReadFileStatus(row.path, status));
    }
}

// ---------------------------------------------------------------------------------------
// Enumeration.

TEST_F(FilesTest, EnumerationListsDotsFirstThenNamesInNtfsOrder) {
    // Upper-cased UTF-16 order: digits, letters, '_' (after the letters, unlike a
    // lower-casing sort), Latin-1 (é before Ê once upper-cased), Hangul, then a supplementary
    // character (surrogates sort below U+FF21, unlike code-point order).
    const std::vector<std::string> names = {"Ａ", "𝄞", "가", "Ê", "é", "_z",
                                            "c",  "B", "a",  "9", "10"};
    for (const std::string& name : names) {
        Put("C:\\List\\" + name);
    }
    PutFolder("C:\\List\\Dir");
    const std::vector<std::string> expected = {".",   "..", "10", "9", "a",  "B", "c",
                                               "Dir", "_z", "é",  "Ê", "가", "𝄞", "Ａ"};
    EXPECT_EQ(ListNames("C:\\List\\*"), expected);
    EXPECT_EQ(ListNames("C:\\list\\*.*"), expected);

    platform::FileFinder finder;
    platform::FindData data;
    ASSERT_TRUE(finder.First("C:\\List\\*", data));
    EXPECT_EQ(data.name, ".");
    EXPECT_EQ(data.attributes & platform::kAttrDirectory, platform::kAttrDirectory);
    ASSERT_TRUE(finder.Next(data));
    EXPECT_EQ(data.name, "..");
    EXPECT_EQ(data.attributes & platform::kAttrDirectory, platform::kAttrDirectory);
    while (finder.Next(data)) {
    }
    EXPECT_EQ(LastError(), platform::kErrorNoMoreFiles);
    EXPECT_FALSE(finder.Next(data));
    EXPECT_EQ(LastError(), platform::kErrorNoMoreFiles);
}

TEST_F(FilesTest, DriveRootHasNoDotEntries) {
    Put("C:\\top.txt");
    const std::vector<std::string> names = ListNames("C:\\*");
    EXPECT_EQ(names, WithoutDots(names));
    EXPECT_NE(std::find(names.begin(), names.end(), "top.txt"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), "Windows"), names.end());
}

TEST_F(FilesTest, EntryDataMatchesTheFile) {
    Put("C:\\Sized\\five.bin", "12345");
    SetHostModified("C:\\Sized\\five.bin", 1600000000);
    PutFolder("C:\\Sized\\inner");
    platform::FileFinder finder;
    platform::FindData data;
    ASSERT_TRUE(finder.First("C:\\Sized\\f*", data));
    EXPECT_EQ(data.name, "five.bin");
    EXPECT_EQ(data.size, 5u);
    EXPECT_EQ(data.modified, 1600000000);
    EXPECT_EQ(data.attributes & platform::kAttrDirectory, 0u);
    ASSERT_TRUE(finder.First("C:\\Sized\\inner", data)) << "a finder can be started again";
    EXPECT_EQ(data.name, "inner");
    EXPECT_EQ(data.size, 0u);
    EXPECT_NE(data.attributes & platform::kAttrDirectory, 0u);
    EXPECT_FALSE(finder.Next(data));
    EXPECT_EQ(LastError(), platform::kErrorNoMoreFiles);
}

TEST_F(FilesTest, PatternsSelectNamesAsFindFirstFileDoes) {
    for (const char* name : {"x.txt", "Y.TXT", "z.txt.bak", "t.tx", "a", "b", "ab", "noext"}) {
        Put(std::string("C:\\Pat\\") + name);
    }
    PutFolder("C:\\Pat\\Old.TXT");
    struct Row {
        const char* pattern;
        std::vector<std::string> names;  // without "." and "..", in NTFS order
    };
    const Row rows[] = {
        {"*.txt", {"Old.TXT", "x.txt", "Y.TXT"}},
        {"?", {"a", "b"}},
        {"a*", {"a", "ab"}},
        {"*.bak", {"z.txt.bak"}},
        {"y.txt", {"Y.TXT"}},
        {"*.*", {"a", "ab", "b", "noext", "Old.TXT", "t.tx", "x.txt", "Y.TXT", "z.txt.bak"}},
        {"*", {"a", "ab", "b", "noext", "Old.TXT", "t.tx", "x.txt", "Y.TXT", "z.txt.bak"}},
        {"?.t?", {"t.tx"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.pattern);
        EXPECT_EQ(WithoutDots(ListNames(std::string("C:\\Pat\\") + row.pattern)), row.names);
    }
}

TEST_F(FilesTest, FindFirstFailures) {
    PutFolder("C:\\Empty");
    Put("C:\\Some\\one.txt");
    struct Row {
        const char* pattern;
        uint32_t error;
    };
    const Row rows[] = {
        {"C:\\Missing\\*", platform::kErrorPathNotFound},
        {"C:\\Missing\\Deeper\\*.txt", platform::kErrorPathNotFound},
        {"C:\\Some\\*.doc", platform::kErrorFileNotFound},
        {"C:\\Some\\two.txt", platform::kErrorFileNotFound},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.pattern);
        platform::FileFinder finder;
        platform::FindData data;
        EXPECT_FALSE(finder.First(row.pattern, data));
        EXPECT_EQ(LastError(), row.error);
    }
    // An empty folder still holds "." and "..".
    EXPECT_EQ(ListNames("C:\\Empty\\*"), (std::vector<std::string>{".", ".."}));
}

// ---------------------------------------------------------------------------------------
// Copy.

TEST_F(FilesTest, CopyCarriesContentsAttributesAndModificationTime) {
    Put("C:\\Src\\a.txt", "hello");
    SetHostModified("C:\\Src\\a.txt", 1577934245);  // 2020-01-02 03:04:05 UTC
    ASSERT_TRUE(platform::ChangeFileAttributes("C:\\Src\\a.txt",
                                               platform::kAttrHidden | platform::kAttrReadOnly));
    PutFolder("C:\\Dst");

    ASSERT_TRUE(platform::CopyOneFile("C:\\Src\\a.txt", "C:\\Dst\\b.txt", true))
        << "LastError " << LastError();
    EXPECT_EQ(HostContents("C:\\Dst\\b.txt"), "hello");
    platform::FileStatus status;
    ASSERT_TRUE(platform::ReadFileStatus("C:\\Dst\\b.txt", status));
    EXPECT_EQ(status.modified, 1577934245);
    EXPECT_EQ(status.size, 5u);
    const uint32_t hr = platform::kAttrHidden | platform::kAttrReadOnly;
    EXPECT_EQ(platform::FileAttributes("C:\\Dst\\b.txt") & hr, hr);
    EXPECT_EQ(HostContents("C:\\Src\\a.txt"), "hello") << "the source stays";
}

TEST_F(FilesTest, CopyOntoAnExistingFile) {
    Put("C:\\Src\\new.txt", "new contents");
    Put("C:\\Dst\\old.txt", "old");

    EXPECT_FALSE(platform::CopyOneFile("C:\\Src\\new.txt", "C:\\Dst\\old.txt", true));
    EXPECT_EQ(LastError(), platform::kErrorFileExists);
    EXPECT_EQ(HostContents("C:\\Dst\\old.txt"), "old");

    ASSERT_TRUE(platform::CopyOneFile("C:\\Src\\new.txt", "C:\\Dst\\old.txt", false))
        << "LastError " << LastError();
    EXPECT_EQ(HostContents("C:\\Dst\\old.txt"), "new contents");

    // A hidden target is refused unless the copy is hidden too (CopyFileW's rule).
    Put("C:\\Dst\\hidden.txt", "secret");
    ASSERT_TRUE(platform::ChangeFileAttributes("C:\\Dst\\hidden.txt", platform::kAttrHidden));
    EXPECT_FALSE(platform::CopyOneFile("C:\\Src\\new.txt", "C:\\Dst\\hidden.txt", false));
    EXPECT_EQ(LastError(), platform::kErrorAccessDenied);
    EXPECT_EQ(HostContents("C:\\Dst\\hidden.txt"), "secret");
}

TEST_F(FilesTest, CopyFailures) {
    Put("C:\\Src\\a.txt");
    PutFolder("C:\\Src\\folder");
    struct Row {
        const char* source;
        const char* target;
        uint32_t error;
    };
    const Row rows[] = {
        {"C:\\Src\\missing.txt", "C:\\Src\\b.txt", platform::kErrorFileNotFound},
        {"C:\\Nowhere\\a.txt", "C:\\Src\\b.txt", platform::kErrorPathNotFound},
        {"C:\\Src\\a.txt", "C:\\Nowhere\\b.txt", platform::kErrorPathNotFound},
        {"C:\\Src\\folder", "C:\\Src\\b.txt", platform::kErrorAccessDenied},
        {"C:\\Src\\a.txt", "C:\\Src\\folder", platform::kErrorAccessDenied},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.source) + " -> " + row.target);
        EXPECT_FALSE(platform::CopyOneFile(row.source, row.target, false));
        EXPECT_EQ(LastError(), row.error);
    }
    EXPECT_FALSE(HostExists(Host("C:\\Src\\b.txt")));
}

// ---------------------------------------------------------------------------------------
// Delete, remove and make.

TEST_F(FilesTest, RemoveFileAndRemoveFolderErrors) {
    Put("C:\\Full\\inside.txt");
    PutFolder("C:\\EmptyOne");
    struct Row {
        const char* what;
        bool (*call)(const std::string&);
        const char* path;
        uint32_t error;
    };
    const Row rows[] = {
        {"remove a folder that is not empty", platform::RemoveFolder, "C:\\Full",
         platform::kErrorDirNotEmpty},
        {"remove a file as a folder", platform::RemoveFolder, "C:\\Full\\inside.txt",
         platform::kErrorDirectory},
        {"remove a missing folder", platform::RemoveFolder, "C:\\Full\\none",
         platform::kErrorFileNotFound},
        {"remove a folder with a missing parent", platform::RemoveFolder, "C:\\None\\none",
         platform::kErrorPathNotFound},
        {"delete a folder as a file", platform::RemoveFile, "C:\\EmptyOne",
         platform::kErrorAccessDenied},
        {"delete a missing file", platform::RemoveFile, "C:\\Full\\none.txt",
         platform::kErrorFileNotFound},
        {"delete a file with a missing parent", platform::RemoveFile, "C:\\None\\none.txt",
         platform::kErrorPathNotFound},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        platform::SetLastErrorCode(0);
        EXPECT_FALSE(row.call(row.path));
        EXPECT_EQ(LastError(), row.error);
    }
    EXPECT_TRUE(HostExists(Host("C:\\Full\\inside.txt")));
    EXPECT_TRUE(HostExists(Host("C:\\EmptyOne")));

    EXPECT_TRUE(platform::RemoveFolder("C:\\emptyone")) << "LastError " << LastError();
    EXPECT_FALSE(HostExists(Host("C:\\EmptyOne")));
}

TEST_F(FilesTest, MakeFolderErrors) {
    Put("C:\\Here\\file.txt");
    struct Row {
        const char* path;
        uint32_t error;
    };
    const Row rows[] = {
        {"C:\\Here", platform::kErrorAlreadyExists},
        {"C:\\HERE", platform::kErrorAlreadyExists},
        {"C:\\Here\\file.txt", platform::kErrorAlreadyExists},
        {"C:\\Gone\\Child", platform::kErrorPathNotFound},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        EXPECT_FALSE(platform::MakeFolder(row.path));
        EXPECT_EQ(LastError(), row.error);
    }
    EXPECT_FALSE(HostExists(Host("C:\\Gone")));
    ASSERT_TRUE(platform::MakeFolder("C:\\Here\\New")) << "LastError " << LastError();
    EXPECT_EQ(platform::FileAttributes("C:\\Here\\New") & platform::kAttrDirectory,
              platform::kAttrDirectory);
}

TEST_F(FilesTest, HiddenContentsStillMakeAFolderNonEmpty) {
    Put("C:\\Veiled\\answers.dat");
    ASSERT_TRUE(platform::ChangeFileAttributes("C:\\Veiled\\answers.dat",
                                               platform::kAttrHidden | platform::kAttrSystem));
    EXPECT_FALSE(platform::RemoveFolder("C:\\Veiled"));
    EXPECT_EQ(LastError(), platform::kErrorDirNotEmpty);
}

TEST_F(FilesTest, CharactersWindowsForbidsInNames) {
    for (const char* name : {"a<b", "a>b", "a|b", "a\"b", "a*b", "a?b", "a:b"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(platform::MakeFolder(std::string("C:\\") + name));
        EXPECT_EQ(LastError(), platform::kErrorInvalidName);
    }
    EXPECT_EQ(WithoutDots(ListNames("C:\\*")), (std::vector<std::string>{"Windows"}));
}

TEST_F(FilesTest, DriveRootAndTrailingBackslash) {
    PutFolder("C:\\Data");
    EXPECT_TRUE(platform::FileExists("C:\\"));
    EXPECT_EQ(platform::FileAttributes("C:\\") & platform::kAttrDirectory,
              platform::kAttrDirectory);
    EXPECT_EQ(platform::FileAttributes("C:\\Data\\"), platform::kAttrDirectory);
}

TEST_F(FilesTest, MoveRenamesFilesAndFolders) {
    Put("C:\\Move\\a.txt", "moved");
    ASSERT_TRUE(platform::MoveOneFile("C:\\move\\A.TXT", "C:\\Move\\b.txt"))
        << "LastError " << LastError();
    EXPECT_EQ(HostContents("C:\\Move\\b.txt"), "moved");
    EXPECT_FALSE(HostExists(Host("C:\\Move\\a.txt")));
    ASSERT_TRUE(platform::MoveOneFile("C:\\Move", "C:\\Moved")) << "LastError " << LastError();
    EXPECT_EQ(HostContents("C:\\Moved\\b.txt"), "moved");
    EXPECT_FALSE(platform::MoveOneFile("C:\\Moved\\none.txt", "C:\\Moved\\c.txt"));
    EXPECT_EQ(LastError(), platform::kErrorFileNotFound);
    Put("C:\\Moved\\c.txt", "in the way");
    EXPECT_FALSE(platform::MoveOneFile("C:\\Moved\\b.txt", "C:\\Moved\\c.txt"));
    EXPECT_EQ(LastError(), platform::kErrorAlreadyExists);
    EXPECT_EQ(HostContents("C:\\Moved\\c.txt"), "in the way");
    EXPECT_EQ(HostContents("C:\\Moved\\b.txt"), "moved");
}

// ---------------------------------------------------------------------------------------
// Current folder.

TEST_F(FilesTest, RelativePathsResolveAgainstTheCurrentFolder) {
    Put("C:\\Work\\notes.txt", "notes");
    Put("C:\\Other\\f.txt", "other");
    ASSERT_TRUE(platform::ChangeCurrentFolder("C:\\Work")) << "LastError " << LastError();
    std::string current;
    ASSERT_TRUE(platform::CurrentFolder(current));
    EXPECT_EQ(current, "C:\\Work");

    EXPECT_TRUE(platform::FileExists("notes.txt"));
    EXPECT_TRUE(platform::FileExists(".\\NOTES.txt"));
    EXPECT_TRUE(platform::FileExists("..\\Other\\f.txt"));
    EXPECT_TRUE(platform::FileExists("\\Windows\\system32")) << "root of the current drive";
    int error = -1;
    EXPECT_EQ(platformtest::ReadThroughPlatform("..\\other\\F.TXT", error), "other");
    ASSERT_TRUE(platform::MakeFolder("Sub")) << "LastError " << LastError();
    EXPECT_TRUE(std::filesystem::is_directory(Host("C:\\Work\\Sub")));
    ASSERT_TRUE(platform::RemoveFile("notes.txt")) << "LastError " << LastError();
    EXPECT_FALSE(HostExists(Host("C:\\Work\\notes.txt")));

    ASSERT_TRUE(platform::ChangeCurrentFolder("Sub")) << "relative change";
    ASSERT_TRUE(platform::CurrentFolder(current));
    EXPECT_EQ(current, "C:\\Work\\Sub");
}

TEST_F(FilesTest, CurrentFolderForms) {
    PutFolder("C:\\Work");
    Put("C:\\Work\\file.txt");
    struct Row {
        const char* set;
        const char* expected;  // null: the change fails and the folder stays
        uint32_t error;
    };
    const Row rows[] = {
        {"C:\\Work\\", "C:\\Work", 0},
        {"C:\\", "C:\\", 0},
        {"C:\\Work\\.\\..\\Work", "C:\\Work", 0},
        {"C:\\Missing", nullptr, platform::kErrorFileNotFound},
        {"C:\\Missing\\Deeper", nullptr, platform::kErrorPathNotFound},
        {"C:\\Work\\file.txt", nullptr, platform::kErrorDirectory},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.set);
        ASSERT_TRUE(platform::ChangeCurrentFolder("C:\\Windows"));
        std::string current;
        if (row.expected != nullptr) {
            EXPECT_TRUE(platform::ChangeCurrentFolder(row.set)) << "LastError " << LastError();
            ASSERT_TRUE(platform::CurrentFolder(current));
            EXPECT_EQ(current, row.expected);
        } else {
            EXPECT_FALSE(platform::ChangeCurrentFolder(row.set));
            EXPECT_EQ(LastError(), row.error);
            ASSERT_TRUE(platform::CurrentFolder(current));
            EXPECT_EQ(current, "C:\\Windows");
        }
    }
}

// A process holds its current folder open, so Windows refuses its removal as a sharing
// violation ("being used by another process").
TEST_F(FilesTest, TheCurrentFolderCannotBeRemoved) {
    PutFolder("C:\\InUse");
    ASSERT_TRUE(platform::ChangeCurrentFolder("C:\\InUse"));
    EXPECT_FALSE(platform::RemoveFolder("c:\\inuse"));
    EXPECT_EQ(LastError(), platform::kErrorSharingViolation);
    EXPECT_TRUE(HostExists(Host("C:\\InUse")));
    ASSERT_TRUE(platform::ChangeCurrentFolder("C:\\"));
    EXPECT_TRUE(platform::RemoveFolder("C:\\InUse")) << "LastError " << LastError();
}

// ---------------------------------------------------------------------------------------
// The map between Windows paths and host paths.

TEST_F(FilesTest, WindowsPathsMapOntoTheDriveFolders) {
    Put("C:\\Data\\Report.TXT");
    struct Row {
        const char* windows;
        const char* host;  // as TempMachine::Host names it
    };
    const Row rows[] = {
        {"c:\\data\\REPORT.txt", "C:\\Data\\Report.TXT"},
        {"C:\\DATA\\new.txt", "C:\\Data\\new.txt"},
        {"C:\\Data\\.\\..\\Data\\Report.TXT", "C:\\Data\\Report.TXT"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.windows);
        std::string host;
        ASSERT_TRUE(platform::posix::HostPathOf(row.windows, host));
        EXPECT_EQ(std::filesystem::weakly_canonical(host),
                  std::filesystem::weakly_canonical(Host(row.host)));
    }
    std::string windows;
    ASSERT_TRUE(platform::posix::WindowsPathOf(Host("C:\\Data\\Report.TXT"), windows));
    EXPECT_EQ(windows, "C:\\Data\\Report.TXT");
    EXPECT_FALSE(platform::posix::WindowsPathOf("/etc/passwd", windows));
    std::string host;
    EXPECT_FALSE(platform::posix::HostPathOf("Q:\\nothing", host));
}

// ".." cannot climb above a drive's root on Windows: "C:\.." is "C:\". So no path reaches
// the machine's own files or the rest of the host.
TEST_F(FilesTest, DotDotStopsAtTheDriveRoot) {
    Put("C:\\inside.txt", "inside");
    for (const char* path : {"C:\\..\\machine.ini", "C:\\..\\..\\..\\..\\etc\\passwd",
                             "C:\\Windows\\..\\..\\registry.reg"}) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(platform::FileExists(path));
        std::string host;
        if (platform::posix::HostPathOf(path, host)) {
            const std::string root = std::filesystem::weakly_canonical(Host("C:\\")).string();
            EXPECT_EQ(std::filesystem::weakly_canonical(host).string().rfind(root, 0), 0u) << host;
        }
    }
    int error = -1;
    EXPECT_EQ(platformtest::ReadThroughPlatform("C:\\..\\..\\inside.txt", error), "inside");
}

// ---------------------------------------------------------------------------------------
// Drives.

TEST(DrivesTest, LogicalDrivesAndTypesComeFromMachineIni) {
    // The drive folders exist before the machine that names them is loaded.
    testsupport::TempMachine machine;
    for (const char* folder : {"drive_d", "drive_e", "drive_f", "drive_g"}) {
        std::filesystem::create_directories(machine.Folder() + "/" + folder);
    }
    machine.WriteHostFile(machine.Folder() + "/machine.ini",
                          "[drives]\nC = fixed, drive_c\nD = fixed, drive_d\n"
                          "E = removable, drive_e\nF = cdrom, drive_f\nG = remote, drive_g\n");
    std::string problem;
    ASSERT_TRUE(platform::posix::UseMachine(machine.Folder(), problem)) << problem;

    EXPECT_EQ(platform::LogicalDrives(), (1u << 2) | (1u << 3) | (1u << 4) | (1u << 5) | (1u << 6));
    struct Row {
        const char* root;
        unsigned type;
    };
    const Row rows[] = {
        {"C:\\", platform::kDriveFixed},     {"D:\\", platform::kDriveFixed},
        {"E:\\", platform::kDriveRemovable}, {"e:\\", platform::kDriveRemovable},
        {"F:\\", platform::kDriveCdrom},     {"G:\\", platform::kDriveRemote},
        {"Q:\\", platform::kDriveNoRootDir}, {"A:\\", platform::kDriveNoRootDir},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.root);
        EXPECT_EQ(platform::DriveTypeOf(row.root), row.type);
    }

    // Each drive maps onto its own host folder.
    machine.WriteHostFile(machine.Folder() + "/drive_e/stick.txt", "on e");
    int error = -1;
    EXPECT_EQ(platformtest::ReadThroughPlatform("E:\\STICK.txt", error), "on e");
    EXPECT_FALSE(platform::FileExists("D:\\stick.txt"));
    EXPECT_FALSE(platform::FileExists("Q:\\stick.txt"));
    EXPECT_EQ(platform::FileAttributes("Q:\\stick.txt"), platform::kInvalidAttributes);
    EXPECT_EQ(platform::LastError(), platform::kErrorPathNotFound);

    // A drive has its own root: enumerations of it have no dot entries either.
    EXPECT_EQ(ListNames("E:\\*"), (std::vector<std::string>{"stick.txt"}));
}

}  // namespace

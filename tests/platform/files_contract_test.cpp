// The file services' contract on both platforms (the Windows run compiles this file as it
// is): names without regard to case, read-only refusals, attributes of folders and missing
// paths, enumeration and patterns, copy, delete, move and folder semantics, the current
// folder and the drives. Each expectation is what Windows answers for the same call; the
// files are made and read from outside the platform's file services (TempMachine).
#include "host_files.h"
#include "platform/crt_errno.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform_test_util.h"
#include "temp_machine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using platform::LastError;
using platformtest::HostExists;
using platformtest::HostIsFolder;
using platformtest::ListNames;
using platformtest::WithoutDots;
using testsupport::TempMachine;

std::vector<std::string> Sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
}

class FilesContractTest : public testsupport::MachineTest {
protected:
    // Makes a file through the host, so the platform meets it as found.
    void Put(const std::string& windowsPath, const std::string& contents = "x") {
        m_machine.WriteHostFile(m_machine.Host(windowsPath), contents);
    }
    void PutFolder(const std::string& windowsPath) {
        TempMachine::MakeHostFolder(m_machine.Host(windowsPath));
    }
    void SetModified(const std::string& windowsPath, int64_t seconds) {
        ASSERT_TRUE(TempMachine::SetHostModified(m_machine.Host(windowsPath), seconds));
    }
    std::string Host(const std::string& windowsPath) const { return m_machine.Host(windowsPath); }
    std::string HostContents(const std::string& windowsPath) const {
        return TempMachine::ReadHostFile(Host(windowsPath));
    }
};

// ---------------------------------------------------------------------------------------
// Names without regard to case.

TEST_F(FilesContractTest, NamesResolveWithoutRegardToCase) {
    struct Row {
        const char* stored;  // the name as it lies on the disk
        const char* asked;   // the name the caller uses
    };
    const Row rows[] = {
        {"C:\\Data\\Report.TXT", "c:\\DATA\\report.txt"},
        {"C:\\Data\\Report.TXT", "C:\\data\\REPORT.Txt"},
        {"C:\\자료\\시험 안내.txt", "C:\\자료\\시험 안내.TXT"},
        {"C:\\Café\\Übung.dat", "C:\\CAFÉ\\übung.DAT"},
        {"C:\\Отчёт\\Файл.txt", "C:\\отчЁт\\фАЙЛ.txt"},
        {"C:\\Data\\Report.TXT", "\\\\?\\C:\\Data\\Report.TXT"},
        {"C:\\Data\\Report.TXT", "\\\\?\\C:\\data\\report.TXT"},
        {"C:\\Data\\Report.TXT", "C:/data/report.txt"},
    };
    for (const Row& row : rows) {
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

TEST_F(FilesContractTest, NewNamesGoIntoTheExistingFolderOfAnotherCase) {
    Put("C:\\Data\\Report.TXT", "old");

    // The folder exists under another case: no second folder appears.
    EXPECT_FALSE(platform::MakeFolder("C:\\DATA"));
    EXPECT_EQ(LastError(), platform::kErrorAlreadyExists);
    ASSERT_TRUE(platform::MakeFolder("C:\\DATA\\Sub")) << "LastError " << LastError();
    EXPECT_TRUE(HostIsFolder(Host("C:\\Data\\Sub")));

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
    // (The order of the listing is the file system's: EnumerationYieldsDotsFirst... below.)
    EXPECT_EQ(Sorted(WithoutDots(ListNames("C:\\Data\\*"))),
              (std::vector<std::string>{"NEW.bin", "Report.TXT", "Sub"}));
}

// ---------------------------------------------------------------------------------------
// Read-only: refused with 5 (13 for the C runtime) even to an administrator (root on the
// simulated machine).

TEST_F(FilesContractTest, ReadOnlyFileIsRefusedEvenToRoot) {
    const std::string ro = "C:\\Locked\\answer.dat";
    Put(ro, "keep me");
    Put("C:\\Locked\\other.dat", "other");
    ASSERT_TRUE(platform::ChangeFileAttributes(ro, platform::kAttrReadOnly));
    EXPECT_NE(platform::FileAttributes(ro) & platform::kAttrReadOnly, 0u);

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

TEST_F(FilesContractTest, ReadOnlyFolderRefusesRemovalButTakesNewFiles) {
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
    EXPECT_TRUE(HostIsFolder(Host("C:\\Frozen")));
    ASSERT_TRUE(platform::ChangeFileAttributes("C:\\Frozen", platform::kAttrNormal));
    EXPECT_TRUE(platform::RemoveFolder("C:\\Frozen")) << "LastError " << LastError();
}

TEST_F(FilesContractTest, FolderAttributesAndMissingPaths) {
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
// Enumeration. The order of the names is the file system's (NTFS sorts them, FAT and
// Wine's host folders need not): the simulated machine's NTFS order is checked in its own
// suite (FilesTest.EnumerationListsNamesInNtfsOrder).

TEST_F(FilesContractTest, EnumerationYieldsDotsFirstThenEveryNameOnce) {
    const std::vector<std::string> names = {"Ａ", "𝄞", "가", "Ê", "é", "_z",
                                            "c",  "B", "a",  "9", "10"};
    for (const std::string& name : names) {
        Put("C:\\List\\" + name);
    }
    PutFolder("C:\\List\\Dir");
    std::vector<std::string> expected = names;
    expected.push_back("Dir");
    expected = Sorted(expected);
    for (const char* pattern : {"C:\\List\\*", "C:\\list\\*.*"}) {
        SCOPED_TRACE(pattern);
        const std::vector<std::string> listed = ListNames(pattern);
        ASSERT_GE(listed.size(), 2u);
        EXPECT_EQ(listed[0], ".");
        EXPECT_EQ(listed[1], "..");
        EXPECT_EQ(Sorted(WithoutDots(listed)), expected);
    }

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

TEST_F(FilesContractTest, DriveRootHasNoDotEntries) {
    Put("C:\\top.txt");
    const std::vector<std::string> names = ListNames("C:\\*");
    EXPECT_EQ(names, WithoutDots(names));
    EXPECT_NE(std::find(names.begin(), names.end(), "top.txt"), names.end());
    // (Wine names its system folder "windows".)
    EXPECT_NE(
        std::find_if(names.begin(), names.end(),
                     [](const std::string& n) { return platform::SameNameNoCase(n, "Windows"); }),
        names.end());
}

TEST_F(FilesContractTest, EntryDataMatchesTheFile) {
    Put("C:\\Sized\\five.bin", "12345");
    SetModified("C:\\Sized\\five.bin", 1600000000);
    PutFolder("C:\\Sized\\inner");
    platform::FileStatus status;
    ASSERT_TRUE(platform::ReadFileStatus("C:\\Sized\\five.bin", status));
    EXPECT_EQ(status.size, 5u);
    EXPECT_EQ(status.attributes & platform::kAttrDirectory, 0u);
    EXPECT_EQ(status.modified, 1600000000) << "seconds since 1970, not FILETIME units";

    platform::FileFinder finder;
    platform::FindData data;
    ASSERT_TRUE(finder.First("C:\\Sized\\f*", data));
    EXPECT_EQ(data.name, "five.bin");
    EXPECT_EQ(data.size, 5u);
    EXPECT_EQ(data.modified, 1600000000);
    EXPECT_EQ(data.attributes & platform::kAttrDirectory, 0u);
    EXPECT_FALSE(finder.Next(data));
    EXPECT_EQ(LastError(), platform::kErrorNoMoreFiles);
    ASSERT_TRUE(finder.First("C:\\Sized\\inner", data)) << "a finder can be started again";
    EXPECT_EQ(data.name, "inner");
    EXPECT_EQ(data.size, 0u);
    EXPECT_NE(data.attributes & platform::kAttrDirectory, 0u);
    EXPECT_FALSE(finder.Next(data));
    EXPECT_EQ(LastError(), platform::kErrorNoMoreFiles);
}

TEST_F(FilesContractTest, PatternsSelectNamesAsFindFirstFileDoes) {
    for (const char* name : {"x.txt", "Y.TXT", "z.txt.bak", "t.tx", "a", "b", "ab", "noext"}) {
        Put(std::string("C:\\Pat\\") + name);
    }
    PutFolder("C:\\Pat\\Old.TXT");
    struct Row {
        const char* pattern;
        std::vector<std::string> names;  // without "." and "..", in byte order
    };
    const Row rows[] = {
        {"*.txt", {"Old.TXT", "Y.TXT", "x.txt"}},
        {"?", {"a", "b"}},
        {"?.txt", {"Y.TXT", "x.txt"}},
        {"a*", {"a", "ab"}},
        {"*.bak", {"z.txt.bak"}},
        {"y.txt", {"Y.TXT"}},
        {"noext", {"noext"}},
        {"*.*", {"Old.TXT", "Y.TXT", "a", "ab", "b", "noext", "t.tx", "x.txt", "z.txt.bak"}},
        {"*", {"Old.TXT", "Y.TXT", "a", "ab", "b", "noext", "t.tx", "x.txt", "z.txt.bak"}},
        {"?.t?", {"t.tx"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.pattern);
        EXPECT_EQ(Sorted(WithoutDots(ListNames(std::string("C:\\Pat\\") + row.pattern))),
                  row.names);
    }
}

TEST_F(FilesContractTest, FindFirstFailures) {
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
        {"C:\\Empty\\*.txt", platform::kErrorFileNotFound},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.pattern);
        platform::FileFinder finder;
        platform::FindData data;
        EXPECT_FALSE(finder.First(row.pattern, data));
        EXPECT_EQ(LastError(), row.error);
        EXPECT_FALSE(finder.Next(data)) << "a failed start leaves nothing to continue";
    }
    // An empty folder still holds "." and "..".
    EXPECT_EQ(ListNames("C:\\Empty\\*"), (std::vector<std::string>{".", ".."}));
}

// ---------------------------------------------------------------------------------------
// Copy.

TEST_F(FilesContractTest, CopyCarriesContentsAttributesAndModificationTime) {
    Put("C:\\Src\\a.txt", "hello");
    SetModified("C:\\Src\\a.txt", 1577934245);  // 2020-01-02 03:04:05 UTC
    ASSERT_TRUE(platform::ChangeFileAttributes("C:\\Src\\a.txt", platform::kAttrHidden));
    PutFolder("C:\\Dst");

    ASSERT_TRUE(platform::CopyOneFile("C:\\Src\\a.txt", "C:\\Dst\\b.txt", true))
        << "LastError " << LastError();
    EXPECT_EQ(HostContents("C:\\Dst\\b.txt"), "hello");
    platform::FileStatus status;
    ASSERT_TRUE(platform::ReadFileStatus("C:\\Dst\\b.txt", status));
    EXPECT_EQ(status.modified, 1577934245);
    EXPECT_EQ(status.size, 5u);
    EXPECT_NE(platform::FileAttributes("C:\\Dst\\b.txt") & platform::kAttrHidden, 0u);
    EXPECT_EQ(HostContents("C:\\Src\\a.txt"), "hello") << "the source stays";
}

// Read-only and hidden together: the copy keeps both.
TEST_F(FilesContractTest, CopyOfAHiddenReadOnlyFileKeepsBothBits) {
    Put("C:\\Src\\a.txt", "hello");
    const uint32_t hr = platform::kAttrHidden | platform::kAttrReadOnly;
    ASSERT_TRUE(platform::ChangeFileAttributes("C:\\Src\\a.txt", hr));
    PutFolder("C:\\Dst");
    ASSERT_TRUE(platform::CopyOneFile("C:\\Src\\a.txt", "C:\\Dst\\b.txt", true))
        << "LastError " << LastError();
    EXPECT_EQ(HostContents("C:\\Dst\\b.txt"), "hello");
    EXPECT_EQ(platform::FileAttributes("C:\\Dst\\b.txt") & hr, hr);
}

TEST_F(FilesContractTest, CopyOntoAnExistingFile) {
    Put("C:\\Src\\new.txt", "new contents");
    Put("C:\\Dst\\old.txt", "old");

    EXPECT_FALSE(platform::CopyOneFile("C:\\Src\\new.txt", "C:\\Dst\\old.txt", true));
    EXPECT_EQ(LastError(), platform::kErrorFileExists);
    EXPECT_EQ(HostContents("C:\\Dst\\old.txt"), "old");

    ASSERT_TRUE(platform::CopyOneFile("C:\\Src\\new.txt", "C:\\Dst\\old.txt", false))
        << "LastError " << LastError();
    EXPECT_EQ(HostContents("C:\\Dst\\old.txt"), "new contents");
}

// Several megabytes (more than any one buffer or call takes) onto a longer file: exactly
// the source's bytes, the rest of the old file gone.
TEST_F(FilesContractTest, CopyOfALargeFileOntoALongerOneIsExact) {
    std::string large((3u << 20) + 7, '\0');
    for (size_t i = 0; i < large.size(); ++i) {
        large[i] = static_cast<char>((i * 7919u) >> 5);
    }
    Put("C:\\Src\\large.bin", large);
    Put("C:\\Dst\\longer.bin", std::string(4u << 20, 'x'));
    ASSERT_TRUE(platform::CopyOneFile("C:\\Src\\large.bin", "C:\\Dst\\longer.bin", false))
        << "LastError " << LastError();
    EXPECT_TRUE(HostContents("C:\\Dst\\longer.bin") == large);
}

// A hidden target is refused unless the copy is hidden too (CopyFileW's rule).
TEST_F(FilesContractTest, CopyOntoAHiddenFileIsRefused) {
    Put("C:\\Src\\new.txt", "new contents");
    Put("C:\\Dst\\hidden.txt", "secret");
    ASSERT_TRUE(platform::ChangeFileAttributes("C:\\Dst\\hidden.txt", platform::kAttrHidden));
    EXPECT_FALSE(platform::CopyOneFile("C:\\Src\\new.txt", "C:\\Dst\\hidden.txt", false));
    EXPECT_EQ(LastError(), platform::kErrorAccessDenied);
    EXPECT_EQ(HostContents("C:\\Dst\\hidden.txt"), "secret");
}

TEST_F(FilesContractTest, CopyFailures) {
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

TEST_F(FilesContractTest, RemoveFileAndRemoveFolderErrors) {
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
        {"remove a missing folder at the root", platform::RemoveFolder, "C:\\Missing",
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

TEST_F(FilesContractTest, MakeFolderErrors) {
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
    for (const char* made : {"C:\\Here\\New", "C:\\Here\\새 폴더"}) {
        SCOPED_TRACE(made);
        ASSERT_TRUE(platform::MakeFolder(made)) << "LastError " << LastError();
        EXPECT_EQ(platform::FileAttributes(made) & platform::kAttrDirectory,
                  platform::kAttrDirectory);
        EXPECT_TRUE(HostIsFolder(Host(made)));
    }
}

TEST_F(FilesContractTest, HiddenContentsStillMakeAFolderNonEmpty) {
    Put("C:\\Veiled\\answers.dat");
    ASSERT_TRUE(platform::ChangeFileAttributes("C:\\Veiled\\answers.dat",
                                               platform::kAttrHidden | platform::kAttrSystem));
    EXPECT_FALSE(platform::RemoveFolder("C:\\Veiled"));
    EXPECT_EQ(LastError(), platform::kErrorDirNotEmpty);
}

TEST_F(FilesContractTest, CharactersWindowsForbidsInNames) {
    const std::vector<std::string> before = ListNames("C:\\*");
    for (const char* name : {"a<b", "a>b", "a|b", "a\"b", "a*b", "a?b"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(platform::MakeFolder(std::string("C:\\") + name));
        EXPECT_EQ(LastError(), platform::kErrorInvalidName);
    }
    EXPECT_EQ(Sorted(ListNames("C:\\*")), Sorted(before)) << "nothing was made";
}

// A colon in a name would name a stream of the file before it.
TEST_F(FilesContractTest, ColonInANameIsRefused) {
    const std::vector<std::string> before = ListNames("C:\\*");
    EXPECT_FALSE(platform::MakeFolder("C:\\a:b"));
    EXPECT_EQ(LastError(), platform::kErrorInvalidName);
    EXPECT_EQ(Sorted(ListNames("C:\\*")), Sorted(before)) << "nothing was made";
}

TEST_F(FilesContractTest, DriveRootAndTrailingBackslash) {
    PutFolder("C:\\Data");
    EXPECT_TRUE(platform::FileExists("C:\\"));
    EXPECT_EQ(platform::FileAttributes("C:\\") & platform::kAttrDirectory,
              platform::kAttrDirectory);
    EXPECT_EQ(platform::FileAttributes("C:\\Data\\"), platform::kAttrDirectory);
}

TEST_F(FilesContractTest, MoveRenamesFilesAndFolders) {
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
    EXPECT_FALSE(platform::MoveOneFile("C:\\Moved\\b.txt", "C:\\Moved\\c.txt"))
        << "MoveFileW does not replace";
    EXPECT_EQ(LastError(), platform::kErrorAlreadyExists);
    EXPECT_EQ(HostContents("C:\\Moved\\c.txt"), "in the way");
    EXPECT_EQ(HostContents("C:\\Moved\\b.txt"), "moved");

    // Into another folder, and a folder with what it holds.
    PutFolder("C:\\Moved\\Sub");
    ASSERT_TRUE(platform::MoveOneFile("C:\\Moved\\b.txt", "C:\\Moved\\Sub\\b2.txt"))
        << "LastError " << LastError();
    EXPECT_EQ(HostContents("C:\\Moved\\Sub\\b2.txt"), "moved");
    ASSERT_TRUE(platform::MoveOneFile("C:\\Moved\\Sub", "C:\\Moved\\Inner"));
    EXPECT_EQ(HostContents("C:\\Moved\\Inner\\b2.txt"), "moved");
    EXPECT_FALSE(HostExists(Host("C:\\Moved\\Sub")));
}

TEST_F(FilesContractTest, ReplaceTakesTheTargetsPlace) {
    Put("C:\\Mv\\b.txt", "b");
    Put("C:\\Mv\\a2.txt", "a");
    ASSERT_TRUE(platform::ReplaceOneFile("C:\\Mv\\b.txt", "C:\\mv\\A2.TXT"))
        << "LastError " << LastError();
    EXPECT_EQ(HostContents("C:\\Mv\\a2.txt"), "b");
    EXPECT_FALSE(HostExists(Host("C:\\Mv\\b.txt")));
    EXPECT_EQ(Sorted(WithoutDots(ListNames("C:\\Mv\\*"))), (std::vector<std::string>{"a2.txt"}));

    // A missing target is no obstacle; a missing source is 2.
    Put("C:\\Mv\\c.txt", "c");
    ASSERT_TRUE(platform::ReplaceOneFile("C:\\Mv\\c.txt", "C:\\Mv\\fresh.txt"));
    EXPECT_EQ(HostContents("C:\\Mv\\fresh.txt"), "c");
    EXPECT_FALSE(platform::ReplaceOneFile("C:\\Mv\\missing.txt", "C:\\Mv\\x.txt"));
    EXPECT_EQ(LastError(), platform::kErrorFileNotFound);
}

TEST_F(FilesContractTest, ReplaceRefusesAReadOnlyTarget) {
    Put("C:\\Mv\\c.txt", "c");
    Put("C:\\Mv\\ro.txt", "ro");
    ASSERT_TRUE(platform::ChangeFileAttributes("C:\\Mv\\ro.txt", platform::kAttrReadOnly));
    EXPECT_FALSE(platform::ReplaceOneFile("C:\\Mv\\c.txt", "C:\\Mv\\ro.txt"));
    EXPECT_EQ(LastError(), platform::kErrorAccessDenied);
    EXPECT_EQ(HostContents("C:\\Mv\\ro.txt"), "ro");
    EXPECT_TRUE(HostExists(Host("C:\\Mv\\c.txt")));
    platform::ChangeFileAttributes("C:\\Mv\\ro.txt", platform::kAttrNormal);
}

// ---------------------------------------------------------------------------------------
// Current folder.

TEST_F(FilesContractTest, RelativePathsResolveAgainstTheCurrentFolder) {
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
    EXPECT_TRUE(HostIsFolder(Host("C:\\Work\\Sub")));
    ASSERT_TRUE(platform::RemoveFile("notes.txt")) << "LastError " << LastError();
    EXPECT_FALSE(HostExists(Host("C:\\Work\\notes.txt")));

    ASSERT_TRUE(platform::ChangeCurrentFolder("Sub")) << "relative change";
    ASSERT_TRUE(platform::CurrentFolder(current));
    EXPECT_EQ(current, "C:\\Work\\Sub");
    ASSERT_TRUE(platform::ChangeCurrentFolder("C:\\"));
}

TEST_F(FilesContractTest, CurrentFolderForms) {
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
    // Another case than the stored one: Windows keeps the case typed, the simulated machine
    // may answer the stored one; either names the same folder.
    ASSERT_TRUE(platform::ChangeCurrentFolder("c:\\work\\")) << "LastError " << LastError();
    std::string current;
    ASSERT_TRUE(platform::CurrentFolder(current));
    EXPECT_TRUE(platform::SameNameNoCase(current, "C:\\Work")) << current;
    EXPECT_TRUE(platform::FileExists("file.txt"));
    ASSERT_TRUE(platform::ChangeCurrentFolder("C:\\"));
}

// ".." cannot climb above a drive's root: "C:\\.." is "C:\\".
TEST_F(FilesContractTest, DotDotStopsAtTheDriveRoot) {
    Put("C:\\inside.txt", "inside");
    for (const char* path :
         {"C:\\..\\..\\inside.txt", "C:\\..\\inside.txt", "C:\\Windows\\..\\..\\inside.txt"}) {
        SCOPED_TRACE(path);
        EXPECT_TRUE(platform::FileExists(path));
        int error = -1;
        EXPECT_EQ(platformtest::ReadThroughPlatform(path, error), "inside");
        EXPECT_EQ(error, 0);
    }
    EXPECT_TRUE(HostIsFolder(Host("C:\\Windows")));
    EXPECT_NE(platform::FileAttributes("C:\\..\\..\\Windows") & platform::kAttrDirectory, 0u);
}

// A process holds its current folder open, so Windows refuses its removal as a sharing
// violation ("being used by another process").
TEST_F(FilesContractTest, TheCurrentFolderCannotBeRemoved) {
    PutFolder("C:\\InUse");
    ASSERT_TRUE(platform::ChangeCurrentFolder("C:\\InUse"));
    EXPECT_FALSE(platform::RemoveFolder("c:\\inuse"));
    EXPECT_EQ(LastError(), platform::kErrorSharingViolation);
    EXPECT_TRUE(HostExists(Host("C:\\InUse")));
    ASSERT_TRUE(platform::ChangeCurrentFolder("C:\\"));
    EXPECT_TRUE(platform::RemoveFolder("C:\\InUse")) << "LastError " << LastError();
}

// ---------------------------------------------------------------------------------------
// Drives: every machine has a fixed C:; a letter it lacks has no root.

TEST_F(FilesContractTest, DrivesOfTheMachine) {
    const uint32_t drives = platform::LogicalDrives();
    EXPECT_NE(drives & (1u << ('C' - 'A')), 0u) << "C: exists";
    EXPECT_EQ(platform::DriveTypeOf("C:\\"), platform::kDriveFixed);
    EXPECT_EQ(platform::DriveTypeOf("c:\\"), platform::kDriveFixed);
    bool met = false;
    for (char letter = 'Q'; letter <= 'Y' && !met; ++letter) {
        if ((drives & (1u << (letter - 'A'))) != 0) {
            continue;
        }
        met = true;
        const std::string root = std::string(1, letter) + ":\\";
        SCOPED_TRACE(root);
        EXPECT_EQ(platform::DriveTypeOf(root), platform::kDriveNoRootDir);
        EXPECT_FALSE(platform::FileExists(root + "x.bin"));
        EXPECT_EQ(platform::FileAttributes(root + "x.bin"), platform::kInvalidAttributes);
        // (Windows answers 3 here, Wine 2: the code is checked on the simulated machine by
        // DrivesTest.LogicalDrivesAndTypesComeFromMachineIni.)
        platform::CrtFile file;
        EXPECT_EQ(file.Open(root + "x.bin", platform::CrtFile::kRead, platform::CrtFile::kDenyNone),
                  platform::kErrnoNoEnt);
    }
    EXPECT_TRUE(met) << "some letter from Q to Y is free";
}

}  // namespace

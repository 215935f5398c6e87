// The file services' contract on Windows itself: the same cases as on the simulated
// machine where Windows decides the answer (names without regard to case, read-only
// refusals, enumeration, copies, moves, folders, the current folder, drives).
#include "platform/files.h"
#include "host_files.h"
#include "platform/crt_errno.h"
#include "platform/errors.h"
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
using platformtest::ListNames;
using platformtest::WithoutDots;

class WindowsFilesTest : public testsupport::MachineTest {
protected:
    void Put(const std::string& path, const std::string& contents = "x") {
        m_machine.WriteHostFile(path, contents);
    }
    void PutFolder(const std::string& path) {
        std::string partial;
        size_t at = 0;
        while ((at = path.find('\\', at + 1)) != std::string::npos) {
            platform::MakeFolder(path.substr(0, at));
        }
        platform::MakeFolder(path);
        ASSERT_EQ(platform::FileAttributes(path) & platform::kAttrDirectory,
                  platform::kAttrDirectory)
            << path;
    }
    static std::string Contents(const std::string& path) {
        return testsupport::TempMachine::ReadHostFile(path);
    }
};

TEST_F(WindowsFilesTest, NamesResolveWithoutRegardToCase) {
    struct Row {
        const char* stored;
        const char* asked;
    };
    const Row rows[] = {
        {"C:\\Data\\Report.TXT", "c:\\DATA\\report.txt"},
        {"C:\\자료\\시험 안내.txt", "C:\\자료\\시험 안내.TXT"},
        {"C:\\Café\\Übung.dat", "C:\\CAFÉ\\übung.DAT"},
        {"C:\\Data\\Report.TXT", "\\\\?\\C:\\Data\\Report.TXT"},
        {"C:\\Data\\Report.TXT", "C:/data/report.txt"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.stored) + " asked as " + row.asked);
        Put(row.stored, "contents");
        EXPECT_TRUE(platform::FileExists(row.asked));
        EXPECT_EQ(platform::FileAttributes(row.asked) & platform::kAttrDirectory, 0u);
        int error = -1;
        EXPECT_EQ(platformtest::ReadThroughPlatform(row.asked, error), "contents");
        EXPECT_EQ(error, 0);
    }
}

TEST_F(WindowsFilesTest, ReadOnlyFileRefusesRemovalOverwriteAndWriting) {
    const std::string ro = "C:\\Locked\\answer.dat";
    Put(ro, "keep me");
    Put("C:\\Locked\\other.dat", "other");
    ASSERT_TRUE(platform::ChangeFileAttributes(ro, platform::kAttrReadOnly));
    EXPECT_NE(platform::FileAttributes(ro) & platform::kAttrReadOnly, 0u);

    EXPECT_FALSE(platform::RemoveFile(ro));
    EXPECT_EQ(LastError(), platform::kErrorAccessDenied);
    EXPECT_TRUE(HostExists(ro));

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
    EXPECT_EQ(Contents(ro), "keep me");

    ASSERT_TRUE(platform::ChangeFileAttributes(ro, platform::kAttrNormal));
    EXPECT_EQ(platform::FileAttributes(ro) & platform::kAttrReadOnly, 0u);
    EXPECT_TRUE(platform::RemoveFile(ro)) << "LastError " << LastError();
    EXPECT_FALSE(HostExists(ro));
}

TEST_F(WindowsFilesTest, FolderAttributesAndMissingPaths) {
    PutFolder("C:\\Box");
    EXPECT_NE(platform::FileAttributes("C:\\Box") & platform::kAttrDirectory, 0u);
    platform::FileStatus folderStatus;
    ASSERT_TRUE(platform::ReadFileStatus("c:\\BOX", folderStatus));
    EXPECT_EQ(folderStatus.size, 0u);
    EXPECT_NE(folderStatus.attributes & platform::kAttrDirectory, 0u);
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

TEST_F(WindowsFilesTest, FileStatusAndEntryDataMatchTheFile) {
    Put("C:\\Stat\\seven.bin", "1234567");
    platform::FileStatus status;
    ASSERT_TRUE(platform::ReadFileStatus("C:\\Stat\\seven.bin", status));
    EXPECT_EQ(status.size, 7u);
    EXPECT_EQ(status.attributes & platform::kAttrDirectory, 0u);
    EXPECT_GT(status.modified, 1600000000) << "seconds since 1970, not FILETIME units";

    platform::FileFinder finder;
    platform::FindData data;
    ASSERT_TRUE(finder.First("C:\\Stat\\seven.*", data));
    EXPECT_EQ(data.name, "seven.bin");
    EXPECT_EQ(data.size, 7u);
    EXPECT_EQ(data.modified, status.modified);
    EXPECT_FALSE(finder.Next(data));
    EXPECT_EQ(LastError(), platform::kErrorNoMoreFiles);
}

TEST_F(WindowsFilesTest, EnumerationYieldsDotsAndEveryName) {
    // Windows lists in its file system's order (NTFS sorts, others need not): the test
    // checks what every Windows guarantees, the dots first and each name once.
    const std::vector<std::string> names = {"가", "é", "c", "B", "a", "10"};
    for (const std::string& name : names) {
        Put("C:\\List\\" + name);
    }
    PutFolder("C:\\List\\Dir");
    const std::vector<std::string> listed = ListNames("C:\\List\\*");
    ASSERT_GE(listed.size(), 2u);
    EXPECT_EQ(listed[0], ".");
    EXPECT_EQ(listed[1], "..");
    std::vector<std::string> got = WithoutDots(listed);
    std::vector<std::string> expected = names;
    expected.push_back("Dir");
    std::sort(got.begin(), got.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(got, expected);
    EXPECT_EQ(WithoutDots(ListNames("C:\\list\\*.*")).size(), expected.size());
}

TEST_F(WindowsFilesTest, PatternsSelectNames) {
    for (const char* name : {"a.txt", "b.TXT", "c.dat", "ab.txt", "noext"}) {
        Put(std::string("C:\\Pat\\") + name);
    }
    struct Row {
        const char* pattern;
        std::vector<std::string> names;
    };
    const std::vector<Row> rows = {
        {"C:\\Pat\\*.txt", {"a.txt", "ab.txt", "b.TXT"}},
        {"C:\\Pat\\?.txt", {"a.txt", "b.TXT"}},
        {"C:\\Pat\\*.dat", {"c.dat"}},
        {"C:\\Pat\\noext", {"noext"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.pattern);
        std::vector<std::string> got = WithoutDots(ListNames(row.pattern));
        std::sort(got.begin(), got.end());
        EXPECT_EQ(got, row.names);
    }
}

TEST_F(WindowsFilesTest, FindFirstFailures) {
    PutFolder("C:\\Empty");
    struct Row {
        const char* pattern;
        uint32_t error;
    };
    const Row rows[] = {
        {"C:\\Empty\\*.txt", platform::kErrorFileNotFound},
        {"C:\\Missing\\*", platform::kErrorPathNotFound},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.pattern);
        platform::FileFinder finder;
        platform::FindData data;
        EXPECT_FALSE(finder.First(row.pattern, data));
        EXPECT_EQ(LastError(), row.error);
        EXPECT_FALSE(finder.Next(data)) << "a failed start leaves nothing to continue";
    }
}

TEST_F(WindowsFilesTest, CopyCarriesContentsAttributesAndModificationTime) {
    Put("C:\\Src\\a.bin", "payload");
    ASSERT_TRUE(platform::ChangeFileAttributes("C:\\Src\\a.bin", platform::kAttrHidden));
    PutFolder("C:\\Dst");
    ASSERT_TRUE(platform::CopyOneFile("C:\\Src\\a.bin", "C:\\Dst\\b.bin", true));
    EXPECT_EQ(Contents("C:\\Dst\\b.bin"), "payload");
    EXPECT_NE(platform::FileAttributes("C:\\Dst\\b.bin") & platform::kAttrHidden, 0u);
    platform::FileStatus source;
    platform::FileStatus copy;
    ASSERT_TRUE(platform::ReadFileStatus("C:\\Src\\a.bin", source));
    ASSERT_TRUE(platform::ReadFileStatus("C:\\Dst\\b.bin", copy));
    EXPECT_EQ(copy.modified, source.modified);

    Put("C:\\Dst\\c.bin", "old");
    EXPECT_FALSE(platform::CopyOneFile("C:\\Src\\a.bin", "C:\\Dst\\c.bin", true));
    EXPECT_EQ(LastError(), platform::kErrorFileExists);
    EXPECT_EQ(Contents("C:\\Dst\\c.bin"), "old");
    ASSERT_TRUE(platform::ChangeFileAttributes("C:\\Src\\a.bin", platform::kAttrNormal));
    EXPECT_TRUE(platform::CopyOneFile("C:\\Src\\a.bin", "C:\\Dst\\c.bin", false));
    EXPECT_EQ(Contents("C:\\Dst\\c.bin"), "payload");
}

TEST_F(WindowsFilesTest, CopyFailures) {
    Put("C:\\Src\\a.bin");
    struct Row {
        const char* source;
        const char* target;
        uint32_t error;
    };
    const Row rows[] = {
        {"C:\\Src\\missing.bin", "C:\\Src\\x.bin", platform::kErrorFileNotFound},
        {"C:\\Nowhere\\a.bin", "C:\\Src\\x.bin", platform::kErrorPathNotFound},
        {"C:\\Src\\a.bin", "C:\\Nowhere\\x.bin", platform::kErrorPathNotFound},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.source) + " -> " + row.target);
        EXPECT_FALSE(platform::CopyOneFile(row.source, row.target, false));
        EXPECT_EQ(LastError(), row.error);
    }
}

TEST_F(WindowsFilesTest, RemoveFileAndRemoveFolderErrors) {
    Put("C:\\Full\\file.txt");
    PutFolder("C:\\Gone");
    struct Row {
        const char* what;
        bool folder;
        const char* path;
        uint32_t error;
    };
    const Row rows[] = {
        {"folder not empty", true, "C:\\Full", platform::kErrorDirNotEmpty},
        {"folder that is a file", true, "C:\\Full\\file.txt", platform::kErrorDirectory},
        {"missing folder", true, "C:\\Missing", platform::kErrorFileNotFound},
        {"file that is a folder", false, "C:\\Full", platform::kErrorAccessDenied},
        {"missing file", false, "C:\\Full\\missing.txt", platform::kErrorFileNotFound},
        {"file in a missing folder", false, "C:\\Missing\\a.txt", platform::kErrorPathNotFound},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_FALSE(row.folder ? platform::RemoveFolder(row.path)
                                : platform::RemoveFile(row.path));
        EXPECT_EQ(LastError(), row.error);
    }
    EXPECT_TRUE(platform::RemoveFolder("C:\\Gone"));
    EXPECT_FALSE(HostExists("C:\\Gone"));
}

TEST_F(WindowsFilesTest, MakeFolderErrors) {
    Put("C:\\Made\\file.txt");
    struct Row {
        const char* path;
        uint32_t error;
    };
    const Row rows[] = {
        {"C:\\Made", platform::kErrorAlreadyExists},
        {"C:\\Made\\file.txt", platform::kErrorAlreadyExists},
        {"C:\\Missing\\child", platform::kErrorPathNotFound},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        EXPECT_FALSE(platform::MakeFolder(row.path));
        EXPECT_EQ(LastError(), row.error);
    }
    EXPECT_TRUE(platform::MakeFolder("C:\\Made\\새 폴더"));
    EXPECT_NE(platform::FileAttributes("C:\\Made\\새 폴더") & platform::kAttrDirectory, 0u);
}

TEST_F(WindowsFilesTest, MoveAndReplace) {
    Put("C:\\Mv\\a.txt", "a");
    Put("C:\\Mv\\b.txt", "b");
    PutFolder("C:\\Mv\\Sub");
    EXPECT_TRUE(platform::MoveOneFile("C:\\Mv\\a.txt", "C:\\Mv\\Sub\\a2.txt"));
    EXPECT_EQ(Contents("C:\\Mv\\Sub\\a2.txt"), "a");
    EXPECT_FALSE(HostExists("C:\\Mv\\a.txt"));
    EXPECT_TRUE(platform::MoveOneFile("C:\\Mv\\Sub", "C:\\Mv\\Moved"));
    EXPECT_EQ(Contents("C:\\Mv\\Moved\\a2.txt"), "a");

    EXPECT_FALSE(platform::MoveOneFile("C:\\Mv\\b.txt", "C:\\Mv\\Moved\\a2.txt"))
        << "MoveFileW does not replace";
    EXPECT_EQ(LastError(), platform::kErrorAlreadyExists);
    EXPECT_TRUE(platform::ReplaceOneFile("C:\\Mv\\b.txt", "C:\\Mv\\Moved\\a2.txt"));
    EXPECT_EQ(Contents("C:\\Mv\\Moved\\a2.txt"), "b");
    EXPECT_FALSE(HostExists("C:\\Mv\\b.txt"));

    EXPECT_FALSE(platform::MoveOneFile("C:\\Mv\\missing.txt", "C:\\Mv\\x.txt"));
    EXPECT_EQ(LastError(), platform::kErrorFileNotFound);
}

TEST_F(WindowsFilesTest, ReplaceRefusesAReadOnlyTarget) {
    Put("C:\\Mv\\c.txt", "c");
    Put("C:\\Mv\\ro.txt", "ro");
    ASSERT_TRUE(platform::ChangeFileAttributes("C:\\Mv\\ro.txt", platform::kAttrReadOnly));
    EXPECT_FALSE(platform::ReplaceOneFile("C:\\Mv\\c.txt", "C:\\Mv\\ro.txt"));
    EXPECT_EQ(LastError(), platform::kErrorAccessDenied);
    EXPECT_EQ(Contents("C:\\Mv\\ro.txt"), "ro");
    EXPECT_TRUE(HostExists("C:\\Mv\\c.txt"));
}

TEST_F(WindowsFilesTest, CurrentFolderAndRelativePaths) {
    PutFolder("C:\\Cwd\\Inner");
    Put("C:\\Cwd\\Inner\\here.txt", "here");
    Put("C:\\Cwd\\plain.txt");
    std::string before;
    ASSERT_TRUE(platform::CurrentFolder(before));

    ASSERT_TRUE(platform::ChangeCurrentFolder("c:\\cwd\\inner\\"));
    std::string now;
    ASSERT_TRUE(platform::CurrentFolder(now));
    EXPECT_TRUE(platform::SameNameNoCase(now, "C:\\Cwd\\Inner")) << now;
    EXPECT_TRUE(platform::FileExists("here.txt"));
    EXPECT_TRUE(platform::FileExists("..\\plain.txt"));

    EXPECT_FALSE(platform::ChangeCurrentFolder("C:\\Cwd\\Missing"));
    EXPECT_EQ(LastError(), platform::kErrorFileNotFound);
    EXPECT_FALSE(platform::ChangeCurrentFolder("C:\\Cwd\\plain.txt"));
    EXPECT_EQ(LastError(), platform::kErrorDirectory);

    ASSERT_TRUE(platform::ChangeCurrentFolder("C:\\"));
    ASSERT_TRUE(platform::CurrentFolder(now));
    EXPECT_EQ(now, "C:\\") << "a drive root keeps its backslash";
    ASSERT_TRUE(platform::ChangeCurrentFolder(before));
}

TEST_F(WindowsFilesTest, DrivesOfTheMachine) {
    const uint32_t drives = platform::LogicalDrives();
    EXPECT_NE(drives & (1u << ('C' - 'A')), 0u) << "C: exists";
    EXPECT_EQ(platform::DriveTypeOf("C:\\"), platform::kDriveFixed);
    // A letter the machine lacks: the first one missing from the mask.
    for (char letter = 'Q'; letter <= 'Y'; ++letter) {
        if ((drives & (1u << (letter - 'A'))) == 0) {
            SCOPED_TRACE(std::string(1, letter));
            EXPECT_EQ(platform::DriveTypeOf(std::string(1, letter) + ":\\"),
                      platform::kDriveNoRootDir);
            platform::CrtFile file;
            EXPECT_EQ(file.Open(std::string(1, letter) + ":\\x.bin", platform::CrtFile::kRead,
                                platform::CrtFile::kDenyNone),
                      platform::kErrnoNoEnt);
            break;
        }
    }
}

TEST_F(WindowsFilesTest, LibraryFilePathIsThePathItself) {
    std::string library;
    ASSERT_TRUE(platform::LibraryFilePath("C:\\VemraExamDB\\자료.db", library));
    EXPECT_EQ(library, "C:\\VemraExamDB\\자료.db");
}

}  // namespace

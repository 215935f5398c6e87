// Contract of CrtFile, the C runtime descriptor: errno values as the Windows runtime gives
// them, reads, writes, seeks and lengths, share modes between opens, modification times.
#include "host_files.h"
#include "platform/crt_errno.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform_test_util.h"
#include "temp_machine.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <utility>

namespace {

using platform::CrtFile;

class CrtFileTest : public testsupport::MachineTest {
protected:
    void Put(const std::string& windowsPath, const std::string& contents) {
        m_machine.WriteHostFile(m_machine.Host(windowsPath), contents);
    }
    std::string HostContents(const std::string& windowsPath) const {
        return testsupport::TempMachine::ReadHostFile(m_machine.Host(windowsPath));
    }
};

TEST_F(CrtFileTest, OpenFailures) {
    Put("C:\\Data\\there.bin", "x");
    struct Row {
        const char* path;
        int flags;
        int expected;
    };
    const Row rows[] = {
        {"C:\\Data\\missing.bin", CrtFile::kRead, platform::kErrnoNoEnt},
        {"C:\\Nowhere\\missing.bin", CrtFile::kRead, platform::kErrnoNoEnt},
        {"C:\\Nowhere\\new.bin", CrtFile::kWrite | CrtFile::kCreate, platform::kErrnoNoEnt},
        {"C:\\Data", CrtFile::kRead, platform::kErrnoAccess},
        {"C:\\Data\\there.bin", CrtFile::kWrite | CrtFile::kCreate | CrtFile::kExclusive,
         platform::kErrnoExist},
        {"Q:\\no-drive.bin", CrtFile::kRead, platform::kErrnoNoEnt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        CrtFile file;
        EXPECT_EQ(file.Open(row.path, row.flags | CrtFile::kBinary, CrtFile::kDenyNone),
                  row.expected);
        EXPECT_FALSE(file.IsOpen());
    }
}

TEST_F(CrtFileTest, WriteReadSeekLength) {
    CrtFile file;
    ASSERT_EQ(file.Open("C:\\rw.bin", CrtFile::kReadWrite | CrtFile::kCreate | CrtFile::kBinary,
                        CrtFile::kDenyNone),
              0);
    ASSERT_TRUE(file.IsOpen());
    size_t put = 0;
    ASSERT_EQ(file.Write("0123456789", 10, put), 0);
    EXPECT_EQ(put, 10u);

    int64_t position = -1;
    int64_t length = -1;
    ASSERT_EQ(file.Seek(3, 0, position), 0);
    EXPECT_EQ(position, 3);
    ASSERT_EQ(file.Length(length), 0);
    EXPECT_EQ(length, 10);
    ASSERT_EQ(file.Seek(0, 1, position), 0);
    EXPECT_EQ(position, 3) << "Length keeps the position";

    char buffer[16] = {};
    size_t got = 0;
    ASSERT_EQ(file.Read(buffer, 4, got), 0);
    EXPECT_EQ(std::string(buffer, got), "3456");
    ASSERT_EQ(file.Seek(-2, 2, position), 0);
    EXPECT_EQ(position, 8);
    ASSERT_EQ(file.Read(buffer, sizeof buffer, got), 0);
    EXPECT_EQ(std::string(buffer, got), "89");
    ASSERT_EQ(file.Read(buffer, sizeof buffer, got), 0);
    EXPECT_EQ(got, 0u) << "end of file";
    ASSERT_EQ(file.Seek(-1, 1, position), 0);
    EXPECT_EQ(position, 9);

    EXPECT_EQ(file.Seek(-20, 1, position), platform::kErrnoInval) << "before the start";
    EXPECT_EQ(file.Seek(0, 7, position), platform::kErrnoInval) << "no such origin";

    ASSERT_EQ(file.SetLength(4), 0);
    ASSERT_EQ(file.Length(length), 0);
    EXPECT_EQ(length, 4);
    ASSERT_EQ(file.SetLength(6), 0);
    ASSERT_EQ(file.Commit(), 0);
    EXPECT_EQ(HostContents("C:\\rw.bin"), std::string("0123\0\0", 6)) << "grown with zeros";

    EXPECT_EQ(file.Close(), 0);
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.Close(), platform::kErrnoBadF);
    EXPECT_EQ(file.Read(buffer, 1, got), platform::kErrnoBadF);
    EXPECT_EQ(file.Write("x", 1, put), platform::kErrnoBadF);
    EXPECT_EQ(file.Length(length), platform::kErrnoBadF);
}

// Reading at an offset, as the reader's second thread does, leaves the position of Read and
// Seek alone; opened as an archive is (read-only, denying writes).
TEST_F(CrtFileTest, ReadAtLeavesThePosition) {
    Put("C:\\a.zip", "0123456789");
    CrtFile file;
    ASSERT_EQ(file.Open("C:\\a.zip", CrtFile::kRead | CrtFile::kBinary, CrtFile::kDenyWrite), 0);
    char buffer[16] = {};
    size_t got = 0;
    ASSERT_EQ(file.Read(buffer, 3, got), 0);
    ASSERT_TRUE(file.PrepareReadAt());
    ASSERT_EQ(file.ReadAt(buffer, 4, 5, got), 0);
    EXPECT_EQ(std::string(buffer, got), "5678");
    ASSERT_EQ(file.ReadAt(buffer, sizeof buffer, 8, got), 0);
    EXPECT_EQ(std::string(buffer, got), "89") << "short at the end";
    ASSERT_EQ(file.Read(buffer, 2, got), 0);
    EXPECT_EQ(std::string(buffer, got), "34");
    EXPECT_EQ(file.Close(), 0);
}

TEST_F(CrtFileTest, AccessModeLimitsTheDescriptor) {
    Put("C:\\mode.bin", "abc");
    CrtFile reader;
    ASSERT_EQ(reader.Open("C:\\mode.bin", CrtFile::kRead, CrtFile::kDenyNone), 0);
    size_t put = 9;
    EXPECT_EQ(reader.Write("x", 1, put), platform::kErrnoBadF);
    EXPECT_EQ(HostContents("C:\\mode.bin"), "abc");

    CrtFile writer;
    ASSERT_EQ(writer.Open("C:\\mode.bin", CrtFile::kWrite, CrtFile::kDenyNone), 0);
    char c = 0;
    size_t got = 9;
    EXPECT_EQ(writer.Read(&c, 1, got), platform::kErrnoBadF);
    ASSERT_EQ(writer.Write("X", 1, put), 0);
    writer.Close();
    EXPECT_EQ(HostContents("C:\\mode.bin"), "Xbc") << "without kTruncate the rest stays";

    CrtFile truncating;
    ASSERT_EQ(
        truncating.Open("C:\\mode.bin", CrtFile::kWrite | CrtFile::kTruncate, CrtFile::kDenyNone),
        0);
    truncating.Close();
    EXPECT_EQ(HostContents("C:\\mode.bin"), "");
}

TEST_F(CrtFileTest, MovedDescriptorsKeepOneOwner) {
    Put("C:\\move.bin", "abc");
    CrtFile first;
    ASSERT_EQ(first.Open("C:\\move.bin", CrtFile::kRead, CrtFile::kDenyWrite), 0);
    CrtFile second(std::move(first));
    EXPECT_FALSE(first.IsOpen());
    EXPECT_TRUE(second.IsOpen());
    char buffer[4];
    size_t got = 0;
    ASSERT_EQ(second.Read(buffer, 3, got), 0);
    EXPECT_EQ(std::string(buffer, got), "abc");

    CrtFile third;
    third = std::move(second);
    EXPECT_FALSE(second.IsOpen());
    EXPECT_TRUE(third.IsOpen());
    {
        CrtFile writer;
        EXPECT_EQ(writer.Open("C:\\move.bin", CrtFile::kWrite, CrtFile::kDenyNone),
                  platform::kErrnoAccess)
            << "the share lock moved with the descriptor";
    }
    EXPECT_EQ(third.Close(), 0);
    CrtFile writer;
    EXPECT_EQ(writer.Open("C:\\move.bin", CrtFile::kWrite, CrtFile::kDenyNone), 0)
        << "closing the moved descriptor released the share lock";
}

// Windows checks a new open against every open of the same file: its access against their
// share modes, and its share mode against their access. The second open names the file
// with another case, so a lock keyed on the spelling of the path would not see the first.
TEST_F(CrtFileTest, ShareModesBetweenOpens) {
    struct Row {
        int firstAccess;
        int firstShare;
        int secondAccess;
        int secondShare;
        int expected;
        const char* what;
    };
    const Row rows[] = {
        {CrtFile::kRead, CrtFile::kDenyWrite, CrtFile::kWrite, CrtFile::kDenyNone,
         platform::kErrnoAccess, "deny-write refuses a writer"},
        {CrtFile::kRead, CrtFile::kDenyWrite, CrtFile::kReadWrite, CrtFile::kDenyNone,
         platform::kErrnoAccess, "deny-write refuses a reader-writer"},
        {CrtFile::kRead, CrtFile::kDenyWrite, CrtFile::kRead, CrtFile::kDenyNone, 0,
         "deny-write lets a reader in"},
        {CrtFile::kRead, CrtFile::kDenyWrite, CrtFile::kRead, CrtFile::kDenyWrite, 0,
         "two deny-write readers"},
        {CrtFile::kReadWrite, CrtFile::kDenyNone, CrtFile::kWrite, CrtFile::kDenyNone, 0,
         "deny-none lets a writer in"},
        {CrtFile::kWrite, CrtFile::kDenyNone, CrtFile::kRead, CrtFile::kDenyWrite,
         platform::kErrnoAccess, "deny-write cannot be had while a writer is open"},
        {CrtFile::kRead, CrtFile::kDenyReadWrite, CrtFile::kRead, CrtFile::kDenyNone,
         platform::kErrnoAccess, "deny-read-write refuses a reader"},
        {CrtFile::kRead, CrtFile::kDenyRead, CrtFile::kRead, CrtFile::kDenyNone,
         platform::kErrnoAccess, "deny-read refuses a reader"},
        {CrtFile::kRead, CrtFile::kDenyRead, CrtFile::kWrite, CrtFile::kDenyNone, 0,
         "deny-read lets a writer in"},
        {CrtFile::kRead, CrtFile::kDenyNone, CrtFile::kRead, CrtFile::kDenyRead,
         platform::kErrnoAccess, "deny-read cannot be had while a reader is open"},
    };
    Put("C:\\Shared\\file.bin", "shared");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        CrtFile first;
        ASSERT_EQ(first.Open("C:\\Shared\\file.bin", row.firstAccess, row.firstShare), 0);
        CrtFile second;
        EXPECT_EQ(second.Open("C:\\SHARED\\File.BIN", row.secondAccess, row.secondShare),
                  row.expected);
        EXPECT_EQ(second.IsOpen(), row.expected == 0);
        second.Close();
        first.Close();
        CrtFile afterwards;
        EXPECT_EQ(afterwards.Open("C:\\Shared\\file.bin", row.secondAccess, row.secondShare), 0)
            << "closing the first open lifts its share mode";
    }
    EXPECT_EQ(HostContents("C:\\Shared\\file.bin"), "shared");
}

TEST_F(CrtFileTest, SetModificationTime) {
    const int64_t rows[] = {1700000000, 946684800, 4102444800};  // 2023, 2000, 2100
    for (const int64_t seconds : rows) {
        SCOPED_TRACE(seconds);
        CrtFile file;
        ASSERT_EQ(
            file.Open("C:\\stamp.bin", CrtFile::kReadWrite | CrtFile::kCreate, CrtFile::kDenyNone),
            0);
        size_t put = 0;
        ASSERT_EQ(file.Write("abc", 3, put), 0);
        EXPECT_TRUE(file.SetModificationTime(seconds)) << "LastError " << platform::LastError();
        ASSERT_EQ(file.Close(), 0);

        platform::FileStatus status;
        ASSERT_TRUE(platform::ReadFileStatus("C:\\stamp.bin", status));
        EXPECT_EQ(status.modified, seconds) << "the time survives the close";
        struct stat st {};
        ASSERT_EQ(stat(m_machine.Host("C:\\stamp.bin").c_str(), &st), 0);
        EXPECT_EQ(static_cast<int64_t>(st.st_mtime), seconds);
    }
    CrtFile closed;
    EXPECT_FALSE(closed.SetModificationTime(1700000000));
    EXPECT_EQ(platform::LastError(), platform::kErrorInvalidHandle);
}

// The C runtime opens files without FILE_SHARE_DELETE, and CopyFileW opens its source for
// reading and its target for writing: the file services meet open descriptors with 32.
TEST_F(CrtFileTest, OpenFilesMeetTheFileServicesWithSharingViolations) {
    Put("C:\\Open\\source.bin", "source");
    struct Row {
        const char* what;
        int access;
        int share;
        bool (*call)();
    };
    const Row rows[] = {
        {"delete a file open for reading", CrtFile::kRead, CrtFile::kDenyNone,
         [] { return platform::RemoveFile("C:\\Open\\held.bin"); }},
        {"copy onto a file open with deny-write", CrtFile::kRead, CrtFile::kDenyWrite,
         [] { return platform::CopyOneFile("C:\\Open\\source.bin", "C:\\Open\\held.bin", false); }},
        {"copy from a file open with deny-read", CrtFile::kWrite, CrtFile::kDenyRead,
         [] { return platform::CopyOneFile("C:\\Open\\held.bin", "C:\\Open\\copy.bin", false); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Put("C:\\Open\\held.bin", "held");
        CrtFile holder;
        ASSERT_EQ(holder.Open("C:\\Open\\held.bin", row.access, row.share), 0);
        platform::SetLastErrorCode(0);
        EXPECT_FALSE(row.call());
        EXPECT_EQ(platform::LastError(), platform::kErrorSharingViolation);
        EXPECT_EQ(HostContents("C:\\Open\\held.bin"), "held");
    }
    EXPECT_FALSE(platformtest::HostExists(m_machine.Host("C:\\Open\\copy.bin")));
    EXPECT_TRUE(platform::RemoveFile("C:\\Open\\held.bin")) << "closed, it goes";
}

}  // namespace

// The file services on the simulated machine, seen from its host side: read-only as the
// owner write bit, hidden, system and archive in an extended attribute, the NTFS order of
// enumerations, the map between Windows and host paths, and drives from machine.ini. What
// Windows answers alike is in files_contract_test.cpp.
#include "platform/files.h"
#include "host_files.h"
#include "platform/crt_errno.h"
#include "platform/errors.h"
#include "platform/posix/machine.h"
#include "platform_test_util.h"
#include "temp_machine.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <cstdlib>
#include <filesystem>

namespace {

using platform::LastError;
using platformtest::DosAttribXattr;
using platformtest::HostMode;
using platformtest::ListNames;
using platformtest::WithoutDots;

// "0x" and one or more hexadecimal digits. (std::regex would do, but GCC 12 warns about
// its insides in the sanitizer build.)
bool IsHexForm(const std::string& value) {
    return value.size() > 2 && value.rfind("0x", 0) == 0 &&
           value.find_first_not_of("0123456789abcdefABCDEF", 2) == std::string::npos;
}

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
};

// ---------------------------------------------------------------------------------------
// Read-only is the missing owner write bit, both ways.

TEST_F(FilesTest, HostFileWithoutWriteBitIsReadOnly) {
    Put("C:\\Locked\\answer.dat");
    ASSERT_TRUE(platform::ChangeFileAttributes("C:\\Locked\\answer.dat", platform::kAttrReadOnly));
    EXPECT_EQ(HostMode(Host("C:\\Locked\\answer.dat")) & S_IWUSR, 0u);
    ASSERT_TRUE(platform::ChangeFileAttributes("C:\\Locked\\answer.dat", platform::kAttrNormal));
    EXPECT_NE(HostMode(Host("C:\\Locked\\answer.dat")) & S_IWUSR, 0u);

    Put("C:\\Shipped\\data.bin");
    ASSERT_EQ(chmod(Host("C:\\Shipped\\data.bin").c_str(), 0444), 0);
    EXPECT_NE(platform::FileAttributes("C:\\Shipped\\data.bin") & platform::kAttrReadOnly, 0u);
    EXPECT_FALSE(platform::RemoveFile("C:\\Shipped\\data.bin"));
    EXPECT_EQ(LastError(), platform::kErrorAccessDenied);
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
        EXPECT_TRUE(IsHexForm(value)) << "value \"" << value << "\"";
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

// ---------------------------------------------------------------------------------------
// Enumeration.

// Windows lists names in the file system's order; the simulated machine promises NTFS's, which
// the installer's folder copies then follow (the rest of the enumeration contract is in
// files_contract_test.cpp).
TEST_F(FilesTest, EnumerationListsNamesInNtfsOrder) {
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

    // A pattern keeps the order.
    PutFolder("C:\\List\\Old.TXT");
    Put("C:\\List\\x.txt");
    Put("C:\\List\\Y.TXT");
    EXPECT_EQ(WithoutDots(ListNames("C:\\List\\*.txt")),
              (std::vector<std::string>{"Old.TXT", "x.txt", "Y.TXT"}));
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
    // (That "C:\\..\\..\\inside.txt" is "C:\\inside.txt" is in files_contract_test.cpp.)
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

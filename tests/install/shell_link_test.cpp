// The shell-link writer of the simulated machine: the bytes of the fixed parts, what
// lnkinfo reads back, replacement of an existing link, and the failures a caller sees.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "host_text.h"
#include "link_reader.h"
#include "platform/posix/machine.h"
#include "platform/shell.h"
#include "temp_machine.h"

using testsupport::Names;

namespace {

namespace fs = std::filesystem;
using linktest::ParseLink;
using linktest::RunLnkinfo;
using linktest::U16;

const std::vector<uint8_t> kLinkClsid = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                         0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

// FILETIME of a host time: 100 ns units since 1601.
uint64_t FileTime(time_t seconds) {
    return (static_cast<uint64_t>(seconds) + 11644473600ULL) * 10000000ULL;
}

class ShellLinkTest : public ::testing::Test {
protected:
    ShellLinkTest() : m_machine("E = removable, drive_e\n") {
        Put("C:\\Vemra\\VemraExam.exe", std::string(1234, 'x'));
        Put("C:\\시험\\프로그램.exe", "mz");
        Put("E:\\Tools\\tool.exe", "mz");
        fs::create_directories(Host("C:\\Users\\Examinee\\Desktop"));
    }
    void Put(const std::string& windowsPath, const std::string& contents) {
        m_machine.WriteHostFile(Host(windowsPath), contents);
    }
    std::string Host(const std::string& windowsPath) const { return m_machine.Host(windowsPath); }
    std::string Read(const std::string& windowsPath) const {
        return testsupport::TempMachine::ReadHostFile(Host(windowsPath));
    }

    testsupport::TempMachine m_machine;
};

// ---------------------------------------------------------------------------------------
// The fixed parts of the file, byte by byte.

struct LayoutRow {
    const char* what;
    platform::ShellLink link;
    uint32_t flags;                    // LinkFlags expected
    const char* ansiPath;              // LocalBasePath bytes (code page 949)
    const char* unicodePath;           // LocalBasePathUnicode
    uint32_t driveType;                // VolumeID DriveType
    bool targetExists;                 // header carries the target's attributes, times and size
    std::vector<std::string> strings;  // StringData in file order
};

std::vector<LayoutRow> LayoutRows() {
    const std::string exe = "C:\\Vemra\\VemraExam.exe";
    return {
        {"shortcut of an installation: name and icon, no arguments, no working folder",
         {exe, "제107회 전산세무회계자격시험", "", exe, 0, ""},
         0x02 | 0x04 | 0x40 | 0x80,
         "C:\\Vemra\\VemraExam.exe",
         "C:\\Vemra\\VemraExam.exe",
         3,
         true,
         {"제107회 전산세무회계자격시험", exe}},
        {"arguments set",
         {exe, "d", "-x 1", exe, 0, ""},
         0x02 | 0x04 | 0x20 | 0x40 | 0x80,
         "C:\\Vemra\\VemraExam.exe",
         "C:\\Vemra\\VemraExam.exe",
         3,
         true,
         {"d", "-x 1", exe}},
        {"working folder set; strings follow the format's order",
         {exe, "d", "-x", exe, 2, "C:\\Vemra"},
         0x02 | 0x04 | 0x10 | 0x20 | 0x40 | 0x80,
         "C:\\Vemra\\VemraExam.exe",
         "C:\\Vemra\\VemraExam.exe",
         3,
         true,
         {"d", "C:\\Vemra", "-x", exe}},
        {"no description, no icon",
         {exe, "", "", "", 0, ""},
         0x02 | 0x80,
         "C:\\Vemra\\VemraExam.exe",
         "C:\\Vemra\\VemraExam.exe",
         3,
         true,
         {}},
        {"target in another case and with dots: the absolute path with the stored names",
         {"c:\\vemra\\.\\x\\..\\VemraExam.exe", "d", "", exe, 0, ""},
         0x02 | 0x04 | 0x40 | 0x80,
         "C:\\Vemra\\VemraExam.exe",
         "C:\\Vemra\\VemraExam.exe",
         3,
         true,
         {"d", exe}},
        {"missing target: no attributes, times or size",
         {"C:\\Vemra\\Missing.exe", "d", "", exe, 0, ""},
         0x02 | 0x04 | 0x40 | 0x80,
         "C:\\Vemra\\Missing.exe",
         "C:\\Vemra\\Missing.exe",
         3,
         false,
         {"d", exe}},
        {"target on a removable drive",
         {"E:\\Tools\\tool.exe", "d", "", "", 0, ""},
         0x02 | 0x04 | 0x80,
         "E:\\Tools\\tool.exe",
         "E:\\Tools\\tool.exe",
         2,
         true,
         {"d"}},
        {"Korean path: code page 949 in the ANSI copy",
         {"C:\\시험\\프로그램.exe", "d", "", "", 0, ""},
         0x02 | 0x04 | 0x80,
         "C:\\\xBD\xC3\xC7\xE8\\\xC7\xC1\xB7\xCE\xB1\xD7\xB7\xA5.exe",
         "C:\\시험\\프로그램.exe",
         3,
         true,
         {"d"}},
        {"characters code page 949 lacks become '?' in the ANSI copy only",
         {"C:\\Vemra\\a\xF0\x9F\x98\x80.exe", "d", "", "", 0, ""},
         0x02 | 0x04 | 0x80,
         "C:\\Vemra\\a?.exe",
         "C:\\Vemra\\a\xF0\x9F\x98\x80.exe",
         3,
         false,
         {"d"}},
    };
}

TEST_F(ShellLinkTest, FixedPartsOfTheFile) {
    for (const LayoutRow& row : LayoutRows()) {
        SCOPED_TRACE(row.what);
        const std::string linkPath = "C:\\Users\\Examinee\\Desktop\\t.lnk";
        ASSERT_EQ(platform::SaveShellLink(row.link, linkPath), platform::kShellOk);
        const linktest::ParsedLink p = ParseLink(Read(linkPath));
        ASSERT_EQ(p.problem, "");
        EXPECT_EQ(p.headerSize, 0x4Cu);
        EXPECT_EQ(p.clsid, kLinkClsid);
        EXPECT_EQ(p.flags, row.flags);
        EXPECT_EQ(p.showCommand, 1u);  // SW_SHOWNORMAL
        EXPECT_EQ(p.hotKey, 0u);
        EXPECT_EQ(p.reserved, 0u);
        EXPECT_EQ(p.iconIndex, row.link.iconIndex);
        if (row.targetExists) {
            struct stat st {};
            std::string host;
            ASSERT_TRUE(platform::posix::HostPathOf(row.link.target, host));
            ASSERT_EQ(stat(host.c_str(), &st), 0);
            EXPECT_EQ(p.fileAttributes, 0x20u);  // archive, as a new file
            EXPECT_EQ(p.fileSize, static_cast<uint32_t>(st.st_size));
            EXPECT_EQ(p.writeTime, FileTime(st.st_mtime));
            EXPECT_EQ(p.accessTime, FileTime(st.st_atime));
            EXPECT_NE(p.creationTime, 0u);
        } else {
            EXPECT_EQ(p.fileAttributes, 0u);
            EXPECT_EQ(p.fileSize, 0u);
            EXPECT_EQ(p.writeTime, 0u);
            EXPECT_EQ(p.creationTime, 0u);
        }
        EXPECT_EQ(p.linkInfoHeaderSize, 0x24u);
        EXPECT_EQ(p.linkInfoFlags, 1u);  // VolumeIDAndLocalBasePath
        EXPECT_EQ(p.driveType, row.driveType);
        EXPECT_NE(p.driveSerial, 0u);
        EXPECT_EQ(p.volumeLabel, "");
        EXPECT_EQ(p.localBasePathAnsi, row.ansiPath);
        EXPECT_EQ(p.localBasePathUnicode, U16(row.unicodePath));
        EXPECT_EQ(p.commonPathSuffix, "");
        EXPECT_EQ(p.commonPathSuffixUnicode, u"");
        std::vector<std::u16string> strings;
        for (const std::string& s : row.strings) {
            strings.push_back(U16(s));
        }
        EXPECT_EQ(p.strings, strings);
        EXPECT_TRUE(p.terminalBlockAtEnd);
    }
}

// The same links as lnkinfo reads them. lnkinfo 20181227 prints the file size in place of
// the show command and the hot key, so those two are left to the byte test above.
TEST_F(ShellLinkTest, LnkinfoReadsEveryField) {
    for (const LayoutRow& row : LayoutRows()) {
        SCOPED_TRACE(row.what);
        const std::string linkPath = "C:\\Users\\Examinee\\Desktop\\t.lnk";
        ASSERT_EQ(platform::SaveShellLink(row.link, linkPath), platform::kShellOk);
        const linktest::LnkinfoReport r = RunLnkinfo(Host(linkPath));
        ASSERT_EQ(r.exitCode, 0) << r.output;
        if (std::string(row.what).find("lacks") == std::string::npos) {
            // (lnkinfo mangles characters beyond the BMP; the byte test covers that row.)
            EXPECT_EQ(r.Get("Local path"), row.unicodePath) << r.output;
        }
        EXPECT_EQ(r.Get("Drive type"), row.driveType == 3 ? "Fixed (3)" : "Removable (2)");
        EXPECT_EQ(r.Get("Description"), row.link.description) << r.output;
        EXPECT_EQ(r.Has("Description"), !row.link.description.empty());
        EXPECT_EQ(r.Get("Command line arguments"), row.link.arguments);
        EXPECT_EQ(r.Has("Command line arguments"), !row.link.arguments.empty());
        EXPECT_EQ(r.Get("Working directory"), row.link.workingFolder);
        EXPECT_EQ(r.Has("Working directory"), !row.link.workingFolder.empty());
        EXPECT_EQ(r.Get("Icon location"), row.link.iconPath);
        EXPECT_EQ(r.Get("Icon index"), std::to_string(row.link.iconIndex));
        if (row.targetExists) {
            EXPECT_EQ(r.Get("File attribute flags"), "0x00000020");
        }
    }
}

// ---------------------------------------------------------------------------------------
// Replacing and failing.

TEST_F(ShellLinkTest, ReplacesAnExistingFileWhole) {
    // A longer old file: nothing of it may survive after the new link's end.
    Put("C:\\Users\\Examinee\\Desktop\\OLD.LNK", std::string(4096, 'o'));
    platform::ShellLink link{"C:\\Vemra\\VemraExam.exe", "new", "", "", 0, ""};
    ASSERT_EQ(platform::SaveShellLink(link, "C:\\Users\\Examinee\\Desktop\\old.lnk"),
              platform::kShellOk);
    // The stored name keeps its case, as Windows keeps it when a file is overwritten.
    EXPECT_EQ(Names(Host("C:\\Users\\Examinee\\Desktop")), std::vector<std::string>{"OLD.LNK"});
    const linktest::ParsedLink p = ParseLink(Read("C:\\Users\\Examinee\\Desktop\\OLD.LNK"));
    EXPECT_EQ(p.problem, "");
    EXPECT_TRUE(p.terminalBlockAtEnd);
    EXPECT_EQ(p.strings, std::vector<std::u16string>{u"new"});
}

struct FailureRow {
    const char* what;
    const char* linkPath;
    long expected;
};

TEST_F(ShellLinkTest, FailuresAnswerTheWin32ErrorAndLeaveNothingBehind) {
    const std::string desktop = "C:\\Users\\Examinee\\Desktop";
    Put(desktop + "\\readonly.lnk", "old link");
    ASSERT_EQ(chmod(Host(desktop + "\\readonly.lnk").c_str(), 0444), 0);
    fs::create_directories(Host(desktop + "\\folder.lnk"));
    const FailureRow rows[] = {
        {"read-only link file", "C:\\Users\\Examinee\\Desktop\\readonly.lnk",
         static_cast<long>(0x80070005L)},
        {"a folder of that name", "C:\\Users\\Examinee\\Desktop\\folder.lnk",
         static_cast<long>(0x80070005L)},
        {"missing folder", "C:\\Users\\Examinee\\Desktop\\NoSuch\\a.lnk",
         static_cast<long>(0x80070003L)},
        {"unknown drive", "Q:\\a.lnk", static_cast<long>(0x80070003L)},
        {"invalid name", "C:\\Users\\Examinee\\Desktop\\a|b.lnk", static_cast<long>(0x8007007BL)},
    };
    const std::vector<std::string> before = Names(Host(desktop));
    for (const FailureRow& row : rows) {
        SCOPED_TRACE(row.what);
        platform::ShellLink link{"C:\\Vemra\\VemraExam.exe", "d", "", "", 0, ""};
        EXPECT_EQ(platform::SaveShellLink(link, row.linkPath), row.expected);
        EXPECT_EQ(Names(Host(desktop)), before);
    }
    EXPECT_EQ(Read(desktop + "\\readonly.lnk"), "old link");
    EXPECT_TRUE(fs::is_empty(Host(desktop + "\\folder.lnk")));
}

TEST_F(ShellLinkTest, NotificationIsLoggedOnceEachTime) {
    const std::string log = m_machine.Folder() + "/run/shell.log";
    EXPECT_FALSE(fs::exists(log));
    platform::NotifyAssociationsChanged();
    EXPECT_EQ(testsupport::TempMachine::ReadHostFile(log), "SHChangeNotify SHCNE_ASSOCCHANGED\n");
    platform::NotifyAssociationsChanged();
    EXPECT_EQ(testsupport::TempMachine::ReadHostFile(log),
              "SHChangeNotify SHCNE_ASSOCCHANGED\nSHChangeNotify SHCNE_ASSOCCHANGED\n");
}

}  // namespace

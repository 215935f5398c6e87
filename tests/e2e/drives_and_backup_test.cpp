// Installations that depend on the drives: the installer on a removable drive (answer
// backup, companion tools), on a second fixed drive or the system drive, backups of earlier
// installations on every fixed drive, packages on write-protected media, a damaged package,
// and earlier data that cannot be backed up whole (held open, a full disk), which must be
// left as it was.
#include <gtest/gtest.h>
#include <sys/xattr.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>

#include "exam_machine.h"
#include "host_text.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/posix/machine.h"
#include "platform/system.h"
#include "tmpfs_mount.h"

using testsupport::Names;

using platform::posix::ShellQuote;

namespace {

namespace fs = std::filesystem;
using e2e::ExamMachine;
using e2e::ExamSpec;
using e2e::ScreenEntry;

constexpr fs::perms kAllWrite =
    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
const char* const kExportTool = "하드에서 USB로 내보내기.exe";
const char* const kImportTool = "USB에서 하드로 가져오기.exe";

// An earlier installation of another exam (ordinal 111, so no reinstall question) with the
// examinee's answers, written straight into the exam-data folder `hostFolder`.
void WriteEarlierInstallation(const std::string& hostFolder) {
    const std::vector<uint8_t> record = package::LevelRecordBytes(111, 1, 1, 7, 12);
    e2e::WriteFile(hostFolder + "/Vemra/LevelInfo.dat", std::string(record.begin(), record.end()));
    e2e::WriteFile(hostFolder + "/Vemra/Answer.dat", "answers of the earlier examinee");
    e2e::WriteFile(hostFolder + "/Vemra/_Def/Default.dat", "default answers");
    e2e::WriteFile(hostFolder + "/Vemra/Sheet/Sheet01.dat", "first sheet");
    e2e::WriteFile(hostFolder + "/Vemra/Sheet/Part/Sheet01a.dat", "part of a sheet");
    e2e::WriteFile(hostFolder + "/Vemra/0007/Company.db", std::string(5000, 'c'));
    e2e::WriteFile(hostFolder + "/Vemra/Notes.txt", "notes at the top of the answer folder");
    e2e::WriteFile(hostFolder + "/Vemra/.session", "a dot name");
    e2e::WriteFile(hostFolder + "/VemraExam.exe", "earlier program");
}

std::string DosAttributes(const std::string& hostPath) {
    char value[32] = {};
    const ssize_t n = getxattr(hostPath.c_str(), "user.DOSATTRIB", value, sizeof value - 1);
    return n < 0 ? "" : std::string(value, static_cast<size_t>(n));
}

std::string Stamp(const platform::LocalTime& t) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d%02d%02d%02d%02d", t.month, t.day, t.hour, t.minute,
                  t.second);
    return buf;
}

// ---------------------------------------------------------------------------------------
// Where the installer runs from.

TEST(InstallerDrive, RemovableDriveGetsTheAnswerBackupAndTheCompanionTools) {
    machine::MachineRecipe recipe;
    recipe.packageDrive = 'E';
    recipe.packageDriveType = "removable";
    const ExamSpec exam;
    ExamMachine m(recipe, exam);
    WriteEarlierInstallation(m.Host("C:\\VemraExamDB"));
    // The answer backup of an earlier run is replaced; a companion tool already there stays.
    // That one is hidden, as the installer leaves it, and holds a read-only file.
    e2e::WriteFile(m.Host("E:\\VemraExamDB_Install\\Stale.dat"), "older answer backup");
    fs::permissions(m.Host("E:\\VemraExamDB_Install\\Stale.dat"), kAllWrite,
                    fs::perm_options::remove);
    ASSERT_EQ(setxattr(m.Host("E:\\VemraExamDB_Install").c_str(), "user.DOSATTRIB", "0x2", 3, 0),
              0);
    e2e::WriteFile(m.Host(std::string("E:\\") + kImportTool), "a tool of its own");

    ASSERT_EQ(m.Run(e2e::InstallScript("11100001", e2e::RegisteredName("11100001"))), 0);
    EXPECT_EQ(m.UnusedScriptLines(), 0);
    EXPECT_EQ(m.BoxTexts(), std::vector<std::string>{});

    // The answers: subfolders but "_Def", and Answer.dat, nothing else; hidden.
    const std::string backup = m.Host("E:\\VemraExamDB_Install");
    e2e::ExpectSameTree(e2e::Tree(backup), {{"Answer.dat", "answers of the earlier examinee"},
                                            {"Sheet/", ""},
                                            {"Sheet/Sheet01.dat", "first sheet"},
                                            {"Sheet/Part/", ""},
                                            {"Sheet/Part/Sheet01a.dat", "part of a sheet"},
                                            {"0007/", ""},
                                            {"0007/Company.db", std::string(5000, 'c')}});
    EXPECT_EQ(DosAttributes(backup), "0x2");

    // The companion tools are copies of the export tool; an existing one is kept.
    EXPECT_EQ(e2e::ReadFile(m.Host(std::string("E:\\") + kExportTool)),
              e2e::ReadFile(m.Host("C:\\Vemra\\Tovalex.exe")));
    EXPECT_EQ(e2e::ReadFile(m.Host(std::string("E:\\") + kImportTool)), "a tool of its own");
    const std::string debug = m.DebugLog();
    EXPECT_EQ(e2e::CountLines(debug, "[Mivo] 설치 : E:, C:\\Vemra\\Tovalex.exe"), 1u) << debug;
    EXPECT_EQ(e2e::CountLines(debug, "[Mivo] 정상"), 1u) << debug;

    e2e::ExpectInstalledExam(m, exam, 1, "11100001", e2e::RegisteredName("11100001"));
}

TEST(InstallerDrive, FixedDrivesGetTheToolsOnlyForExamKindZeroOnAnotherDrive) {
    struct Row {
        char drive;
        int examKind;
        bool tools;
    };
    const Row rows[] = {{'D', 0, true}, {'D', 1, false}, {'C', 0, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message()
                     << "drive " << row.drive << ", exam kind " << row.examKind);
        machine::MachineRecipe recipe;
        recipe.packageDrive = row.drive;
        ExamSpec exam;
        exam.examKind = row.examKind;
        ExamMachine m(recipe, exam);
        WriteEarlierInstallation(m.Host("C:\\VemraExamDB"));
        ASSERT_EQ(m.Run(e2e::InstallScript("11100001", e2e::RegisteredName("11100001"))), 0);
        EXPECT_EQ(m.BoxTexts(), std::vector<std::string>{});

        const std::string root = std::string(1, row.drive) + ":\\";
        for (const char* tool : {kExportTool, kImportTool}) {
            EXPECT_EQ(e2e::Exists(m.Host(root + tool)), row.tools) << tool;
        }
        if (row.tools) {
            EXPECT_EQ(e2e::ReadFile(m.Host(root + kExportTool)),
                      e2e::ReadFile(m.Host("C:\\Vemra\\Tovalex.exe")));
        }
        // A fixed drive gets no answer backup.
        EXPECT_FALSE(e2e::Exists(m.Host(root + "VemraExamDB_Install")));
        const std::string debug = m.DebugLog();
        EXPECT_EQ(e2e::CountLines(debug, std::string("[Mivo] 설치 : ") + row.drive +
                                             ":, C:\\Vemra\\Tovalex.exe"),
                  1u)
            << debug;
        EXPECT_EQ(e2e::CountLines(debug, "[Mivo] 정상"), row.tools ? 1u : 0u) << debug;
        e2e::ExpectInstalledExam(m, exam, 1, "11100001", e2e::RegisteredName("11100001"));
    }
}

// Packages on media that cannot be written (mode bits without write, as a write-protected
// stick or a CD shows them) install as any other.
TEST(InstallerDrive, WriteProtectedPackagesInstall) {
    for (const char* type : {"removable", "cdrom"}) {
        SCOPED_TRACE(type);
        machine::MachineRecipe recipe;
        recipe.packageDrive = 'E';
        recipe.packageDriveType = type;
        const ExamSpec exam;
        ExamMachine m(recipe, exam);
        for (int level = 1; level <= 4; ++level) {
            fs::permissions(
                m.PackageOf(level),
                fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                fs::perm_options::remove);
        }
        ASSERT_EQ(m.Run(e2e::InstallScript("22100001", e2e::RegisteredName("22100001"))), 0);
        EXPECT_EQ(m.BoxTexts(), std::vector<std::string>{});
        EXPECT_EQ(m.Screen().back().answer, "IDOK");
        e2e::ExpectInstalledExam(m, exam, 4, "22100001", e2e::RegisteredName("22100001"));
    }
}

// ---------------------------------------------------------------------------------------
// Backups of the earlier installation.

TEST(Backup, EveryFixedDriveWithExamDataIsCopiedUnderOneTimeStamp) {
    machine::MachineRecipe recipe;
    recipe.extraDrives = {"F = fixed, drive_f", "G = removable, drive_g", "R = remote, drive_r"};
    const ExamSpec exam;
    ExamMachine m(recipe, exam);
    for (const char* drive : {"C", "F", "G", "R"}) {
        WriteEarlierInstallation(m.Host(std::string(drive) + ":\\VemraExamDB"));
    }
    e2e::WriteFile(m.Host("F:\\VemraExamDB\\Vemra\\Sheet\\Sheet09.dat"), "only on F");
    const auto earlierC = e2e::Tree(m.Host("C:\\VemraExamDB"));
    const auto earlierF = e2e::Tree(m.Host("F:\\VemraExamDB"));
    const auto earlierG = e2e::Tree(m.Host("G:\\VemraExamDB"));

    std::string problem;
    ASSERT_TRUE(platform::posix::UseMachine(m.Folder(), problem)) << problem;
    const std::string from = Stamp(platform::CurrentLocalTime());
    ASSERT_EQ(m.Run(e2e::InstallScript("11100001", e2e::RegisteredName("11100001"))), 0);
    const std::string to = Stamp(platform::CurrentLocalTime());
    EXPECT_EQ(m.BoxTexts(), std::vector<std::string>{});

    const std::vector<std::string> onC = Names(m.Host("C:\\Temp"));
    ASSERT_EQ(onC.size(), 1u);
    const std::string name = onC[0];
    ASSERT_EQ(name.size(), 27u) << name;
    EXPECT_EQ(name.substr(0, 12), "VemraExamDB_");
    EXPECT_EQ(name.substr(22), "_Inst");
    const std::string stamp = name.substr(12, 10);
    if (from <= to) {  // not across a new year
        EXPECT_LE(from, stamp);
        EXPECT_GE(to, stamp);
    }
    // Full copies on C and F under the same name; F keeps its data, C has the new exam.
    e2e::ExpectSameTree(e2e::Tree(m.Host("C:\\Temp\\" + name)), earlierC);
    EXPECT_EQ(Names(m.Host("F:\\Temp")), std::vector<std::string>{name});
    e2e::ExpectSameTree(e2e::Tree(m.Host("F:\\Temp\\" + name)), earlierF);
    e2e::ExpectSameTree(e2e::Tree(m.Host("F:\\VemraExamDB")), earlierF);
    e2e::ExpectInstalledExam(m, exam, 1, "11100001", e2e::RegisteredName("11100001"));
    // The installer's fixed drive D has no exam data: an empty Temp folder. The removable
    // and the network drive are not touched.
    EXPECT_TRUE(e2e::Exists(m.Host("D:\\Temp")));
    EXPECT_EQ(Names(m.Host("D:\\Temp")), std::vector<std::string>{});
    EXPECT_FALSE(e2e::Exists(m.Host("G:\\Temp")));
    EXPECT_FALSE(e2e::Exists(m.Host("R:\\Temp")));
    e2e::ExpectSameTree(e2e::Tree(m.Host("G:\\VemraExamDB")), earlierG);
}

// Read-only files in the earlier installation (the main program marks some) are backed up
// like any other and do not stop the reinstallation; an earlier backup of the same second,
// whose copy of a file is read-only, is overwritten with the current data.
TEST(Backup, ReadOnlyFilesAndABackupOfTheSameSecond) {
    const ExamSpec exam;
    ExamMachine m({}, exam);
    const std::string data = m.Host("C:\\VemraExamDB");
    WriteEarlierInstallation(data);
    fs::permissions(data + "/Vemra/Answer.dat", kAllWrite, fs::perm_options::remove);
    fs::permissions(data + "/Vemra/Sheet/Sheet01.dat", kAllWrite, fs::perm_options::remove);
    const auto earlier = e2e::Tree(data);

    // A backup folder for each second the run may begin in, each with a read-only copy.
    std::string problem;
    ASSERT_TRUE(platform::posix::UseMachine(m.Folder(), problem)) << problem;
    const int64_t now = platform::CurrentUnixTime();
    for (int64_t second = now; second < now + 6; ++second) {
        platform::LocalTime t;
        ASSERT_TRUE(platform::UnixToLocalTime(second, t));
        const std::string old = m.Host("C:\\Temp\\VemraExamDB_" + Stamp(t) + "_Inst");
        e2e::WriteFile(old + "/Vemra/Answer.dat", "an older backup");
        e2e::WriteFile(old + "/Vemra/Older.dat", "only in the older backup");
        fs::permissions(old + "/Vemra/Answer.dat", kAllWrite, fs::perm_options::remove);
    }

    ASSERT_EQ(m.Run(e2e::InstallScript("11100001", e2e::RegisteredName("11100001"))), 0);
    EXPECT_EQ(m.BoxTexts(), std::vector<std::string>{});
    e2e::ExpectInstalledExam(m, exam, 1, "11100001", e2e::RegisteredName("11100001"));

    // Exactly one of the folders received the backup: the earlier data over the older one.
    int written = 0;
    for (const std::string& name : Names(m.Host("C:\\Temp"))) {
        const std::string folder = m.Host("C:\\Temp\\" + name);
        if (e2e::ReadFile(folder + "/Vemra/Answer.dat") == "an older backup") {
            continue;
        }
        ++written;
        SCOPED_TRACE(name);
        auto expected = earlier;
        expected["Vemra/Older.dat"] = "only in the older backup";
        e2e::ExpectSameTree(e2e::Tree(folder), expected);
    }
    EXPECT_EQ(written, 1);
}

// ---------------------------------------------------------------------------------------
// A damaged package is never installed in silence.

TEST(DamagedPackage, TheExamineeIsToldAndTheRunEnds) {
    struct Row {
        const char* what;
        const char* python;  // rewrites the archive at sys.argv[1] from the tree at sys.argv[2]
    };
    const Row rows[] = {
        {"a CRC error",
         "import sys, zipfile\n"
         "z = zipfile.ZipFile(sys.argv[1], 'w')\n"
         "z.writestr('Vemra/Answer.dat', b'\\0' * 256, zipfile.ZIP_DEFLATED)\n"
         "z.writestr('Vemra/Sheet/Sheet01.dat', b'answer sheet of ours\\n', zipfile.ZIP_STORED)\n"
         "z.writestr('Vemra/Sheet/Sheet02.dat', b'never reached\\n', zipfile.ZIP_STORED)\n"
         "z.close()\n"
         "data = bytearray(open(sys.argv[1], 'rb').read())\n"
         "at = data.find(b'answer sheet of ours')\n"
         "data[at] ^= 0x20\n"
         "open(sys.argv[1], 'wb').write(data)\n"},
        {"no central directory",
         "import sys\n"
         "data = open(sys.argv[1], 'rb').read()\n"
         "open(sys.argv[1], 'wb').write(data[:len(data) // 2])\n"},
        {"an entry that climbs out of the folder",
         "import sys, zipfile\n"
         "z = zipfile.ZipFile(sys.argv[1], 'w')\n"
         "z.writestr('Vemra/Answer.dat', b'\\0' * 256, zipfile.ZIP_DEFLATED)\n"
         "z.writestr('../../../mivo-e2e-escaped.txt', b'outside', zipfile.ZIP_DEFLATED)\n"
         "z.close()\n"},
        // A method the reader cannot decode leaves the exam without that file: said too.
        {"an entry of an unsupported method (LZMA)",
         "import sys, zipfile\n"
         "z = zipfile.ZipFile(sys.argv[1], 'w')\n"
         "z.writestr('Vemra/Answer.dat', b'\\0' * 256, zipfile.ZIP_DEFLATED)\n"
         "z.writestr('Vemra/Sheet/Sheet01.dat', b'answer sheet\\n', zipfile.ZIP_LZMA)\n"
         "z.close()\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const ExamSpec exam;
        ExamMachine m({}, exam);
        const std::string script = m.Folder() + "/damage.py";
        e2e::WriteFile(script, row.python);
        const std::string command =
            "python3 " + ShellQuote(script) + " " + ShellQuote(m.PackageOf(1)) + " >/dev/null 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;

        ASSERT_EQ(m.Run({"type exam-number 11100001",
                         "type name " + e2e::RegisteredName("11100001"), "press install", "ok"}),
                  0);
        EXPECT_EQ(m.UnusedScriptLines(), 0);
        const std::vector<std::string> boxes = m.BoxTexts();
        ASSERT_EQ(boxes.size(), 1u);
        // Our own words: the package by name, and that its data is damaged.
        EXPECT_NE(boxes[0].find("D:\\MivoPackage\\BaseData\\Level1\\VemraExamDB.zip"),
                  std::string::npos)
            << boxes[0];
        EXPECT_NE(boxes[0].find("손상"), std::string::npos) << boxes[0];
        EXPECT_EQ(m.Screen().back().answer, "IDOK");
        // Nothing landed outside the exam-data folder.
        for (const std::string& outside :
             {m.Host("C:\\mivo-e2e-escaped.txt"), m.Folder() + "/mivo-e2e-escaped.txt",
              fs::path(m.Folder()).parent_path().string() + "/mivo-e2e-escaped.txt"}) {
            EXPECT_FALSE(e2e::Exists(outside)) << outside;
        }
    }
}

// Trouble on the target drive is told in the system's words, which say what to do about it
// (free space, close the program holding a file), not as a damaged package.
TEST(TargetTrouble, IsToldInTheSystemsWords) {
    struct Row {
        const char* what;
        bool fullDisk;       // drive C is a small tmpfs that the package does not fit on
        bool heldOpen;       // another process holds a file the package replaces
        uint32_t expected;   // the system error whose text is shown
    };
    const Row rows[] = {
        {"the target drive full", true, false, platform::kErrorDiskFull},
        {"a target file held by another process", false, true, platform::kErrorSharingViolation},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const ExamSpec exam;
        ExamMachine m({}, exam);
        if (row.heldOpen) {
            WriteEarlierInstallation(m.Host("C:\\VemraExamDB"));
        } else {
            // Data that does not compress, more than the drive holds.
            std::string noise(3 * 1024 * 1024, '\0');
            uint32_t x = 12345;
            for (char& c : noise) {
                x = x * 1103515245u + 12345u;
                c = static_cast<char>(x >> 24);
            }
            package::PackageRecipe recipe;
            recipe.extraFiles = {{"Vemra/Media.bin", noise}};
            std::string problem;
            ASSERT_TRUE(package::BuildPackage(m.PackageOf(1), recipe, problem)) << problem;
        }
        std::optional<testsupport::TmpfsMount> drive;
        if (row.fullDisk) {
            drive.emplace(m.Folder() + "/drive_c", 1024 * 1024, true);
            if (!drive->Mounted()) {
                GTEST_SKIP() << drive->Problem();
            }
            ASSERT_EQ(drive->Problem(), "");
        }
        platform::CrtFile held;
        if (row.heldOpen) {
            // Readable, so the backup copies it; but it cannot be deleted while open.
            ASSERT_EQ(held.Open("C:\\VemraExamDB\\Vemra\\Sheet\\Sheet01.dat",
                                platform::CrtFile::kRead | platform::CrtFile::kBinary,
                                platform::CrtFile::kDenyWrite),
                      0);
        }
        ASSERT_EQ(m.Run({"type exam-number 11100001",
                         "type name " + e2e::RegisteredName("11100001"), "press install", "ok"}),
                  0);
        EXPECT_EQ(m.UnusedScriptLines(), 0);
        EXPECT_EQ(m.BoxTexts(),
                  std::vector<std::string>{platform::FormatSystemError(row.expected)});
    }
}

// ---------------------------------------------------------------------------------------
// Earlier data that cannot be backed up whole is not deleted.

// Another program holds a file of the answers open and denies others reading it.
TEST(DataLossMend, AFileHeldOpenKeepsTheEarlierInstallationAsItWas) {
    const ExamSpec exam;
    {
        ExamMachine m({}, exam);
        WriteEarlierInstallation(m.Host("C:\\VemraExamDB"));
        const auto earlier = e2e::Tree(m.Host("C:\\VemraExamDB"));
        std::string problem;
        ASSERT_TRUE(platform::posix::UseMachine(m.Folder(), problem)) << problem;
        platform::CrtFile held;
        ASSERT_EQ(held.Open("C:\\VemraExamDB\\Vemra\\Sheet\\Sheet01.dat",
                            platform::CrtFile::kRead | platform::CrtFile::kBinary,
                            platform::CrtFile::kDenyRead),
                  0);
        ASSERT_EQ(m.Run({"type exam-number 11100001",
                         "type name " + e2e::RegisteredName("11100001"), "press install", "ok"}),
                  0);
        held.Close();
        EXPECT_EQ(m.UnusedScriptLines(), 0);
        EXPECT_EQ(m.BoxTexts(), std::vector<std::string>{e2e::kRemovalFailed});
        e2e::ExpectSameTree(e2e::Tree(m.Host("C:\\VemraExamDB")), earlier);
        // The process ended at the message: nothing recorded, started or linked.
        EXPECT_EQ(m.Screen().back().kind, "messagebox");
        EXPECT_EQ(m.Registry().find("SAExamDBZIP"), std::string::npos);
        EXPECT_EQ(m.Started(), "");
        EXPECT_TRUE(e2e::Tree(m.Host("C:\\Users\\Examinee\\Desktop")).empty());
    }
}

TEST(DataLossMend, AFullDiskKeepsTheEarlierInstallationAsItWas) {
    const ExamSpec exam;
    {
        ExamMachine m({}, exam);
        WriteEarlierInstallation(m.Host("C:\\VemraExamDB"));
        // Data that fits on the drive once, not twice.
        e2e::WriteFile(m.Host("C:\\VemraExamDB\\Vemra\\0007\\Ledger.db"),
                       std::string(600 * 1024, 'L'));
        const auto earlier = e2e::Tree(m.Host("C:\\VemraExamDB"));
        // A small tmpfs in place of drive C's host folder, holding what the folder held.
        testsupport::TmpfsMount drive(m.Folder() + "/drive_c", 1024 * 1024, true);
        if (!drive.Mounted()) {
            GTEST_SKIP() << drive.Problem();
        }
        ASSERT_EQ(drive.Problem(), "");
        ASSERT_EQ(m.Run({"type exam-number 11100001",
                         "type name " + e2e::RegisteredName("11100001"), "press install", "ok"}),
                  0);
        EXPECT_EQ(m.UnusedScriptLines(), 0);
        EXPECT_EQ(m.BoxTexts(), std::vector<std::string>{e2e::kRemovalFailed});
        e2e::ExpectSameTree(e2e::Tree(m.Host("C:\\VemraExamDB")), earlier);
        EXPECT_EQ(m.Registry().find("SAExamDBZIP"), std::string::npos);
        EXPECT_EQ(m.Started(), "");
    }
}

}  // namespace

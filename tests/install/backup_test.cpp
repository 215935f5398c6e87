// Backup and removal of a previous installation on simulated machines: which drives get
// Temp and backup folders, the one time stamp, the hidden answer backup on a removable
// drive, and above all that no installed data is deleted without a complete backup (a full
// disk, a file another process holds open).
#include "install/backup.h"
#include "install/install_engine.h"

#include "install/mivo_dlg.h"
#include "platform/crt_errno.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/system.h"
#include "platform/text.h"
#include "temp_machine.h"
#include "tmpfs_mount.h"
#include "ui/view.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char* const kRemovalFailed =
    "기존 설치 문제를 삭제 할 수 없어\r\n\r\n문제 설치에 실패했습니다.";

// Answers every box with OK and keeps the balance of the wait cursor.
class RecordingView : public ui::IView {
public:
    int ShowMessageBox(const std::string&, const std::string& text, unsigned flags) override {
        s_boxes.push_back(text);
        s_flags.push_back(flags);
        return ui::kIdOk;
    }
    void DispatchPendingEvents() override {}
    void ShowWaitCursor(bool on) override {
        s_cursorDepth += on ? 1 : -1;
        if (on) {
            ++s_cursorShown;
        }
    }
    const char* Name() const override { return "recording"; }

    static void Reset() {
        s_boxes.clear();
        s_flags.clear();
        s_cursorDepth = 0;
        s_cursorShown = 0;
    }
    static std::vector<std::string> s_boxes;
    static std::vector<unsigned> s_flags;
    static int s_cursorDepth;
    static int s_cursorShown;
};
std::vector<std::string> RecordingView::s_boxes;
std::vector<unsigned> RecordingView::s_flags;
int RecordingView::s_cursorDepth = 0;
int RecordingView::s_cursorShown = 0;

// Another process that holds a file open with a share mode until it is released, as a
// virus scanner or an editor would. The child signals once the file is open.
class FileHolder {
public:
    FileHolder(const std::string& path, int share) {
        int opened[2];
        int release[2];
        if (pipe(opened) != 0 || pipe(release) != 0) {
            return;
        }
        m_pid = fork();
        if (m_pid == 0) {
            close(opened[0]);
            close(release[1]);
            platform::CrtFile file;
            const char result =
                file.Open(path, platform::CrtFile::kRead | platform::CrtFile::kBinary, share) ==
                        platform::kErrnoNone
                    ? 'y'
                    : 'n';
            static_cast<void>(write(opened[1], &result, 1));
            char ignored = 0;
            static_cast<void>(read(release[0], &ignored, 1));  // until the parent lets go
            _exit(0);
        }
        close(opened[1]);
        close(release[0]);
        m_release = release[1];
        char result = 'n';
        m_open = read(opened[0], &result, 1) == 1 && result == 'y';
        close(opened[0]);
    }
    ~FileHolder() { Release(); }
    FileHolder(const FileHolder&) = delete;
    FileHolder& operator=(const FileHolder&) = delete;

    bool Open() const { return m_open; }
    void Release() {
        if (m_release >= 0) {
            close(m_release);
            m_release = -1;
        }
        if (m_pid > 0) {
            waitpid(m_pid, nullptr, 0);
            m_pid = -1;
        }
    }

private:
    pid_t m_pid = -1;
    int m_release = -1;
    bool m_open = false;
};

// Everything below a folder: relative path (folders end in "/") to contents and the
// read-only and hidden bits, so that "unchanged" means byte for byte.
using Snapshot = std::map<std::string, std::string>;

// True for "VemraExamDB_" + ten digits + "_Inst", the name of a backup folder.
bool IsBackupFolderName(const std::string& name) {
    const std::string prefix = "VemraExamDB_";
    const std::string suffix = "_Inst";
    if (name.size() != prefix.size() + 10 + suffix.size() || name.rfind(prefix, 0) != 0 ||
        name.compare(prefix.size() + 10, suffix.size(), suffix) != 0) {
        return false;
    }
    return std::all_of(name.begin() + static_cast<long>(prefix.size()),
                       name.begin() + static_cast<long>(prefix.size()) + 10,
                       [](char c) { return c >= '0' && c <= '9'; });
}

std::string StampOf(const platform::LocalTime& t) {
    return platform::StringPrintf("%02d%02d%02d%02d%02d", t.month, t.day, t.hour, t.minute,
                                  t.second);
}

class BackupTest : public ::testing::Test {
protected:
    // C: the target (system) drive; D:, G: further fixed drives; E: removable; F: remote.
    BackupTest()
        : m_machine(
              "D = fixed, drive_d\nG = fixed, drive_g\nE = removable, drive_e\n"
              "F = remote, drive_f\n") {}

    void SetUp() override {
        ui::SetView(std::make_unique<RecordingView>());
        RecordingView::Reset();
        for (const char* drive : {"drive_d", "drive_e", "drive_f", "drive_g"}) {
            fs::create_directories(m_machine.Folder() + "/" + drive);
        }
    }

    std::string Host(const std::string& path) const { return m_machine.Host(path); }
    void Write(const std::string& path, const std::string& contents = "data") const {
        m_machine.WriteHostFile(Host(path), contents);
    }
    bool Exists(const std::string& path) const { return fs::exists(Host(path)); }
    static void SetAttributes(const std::string& path, uint32_t attributes) {
        ASSERT_TRUE(platform::ChangeFileAttributes(path, attributes)) << path;
    }

    Snapshot Take(const std::string& folder) const {
        Snapshot shot;
        const fs::path root = Host(folder);
        if (!fs::exists(root)) {
            return shot;
        }
        for (const auto& e : fs::recursive_directory_iterator(root)) {
            const std::string rel = fs::relative(e.path(), root).string();
            std::string windows = folder + "\\" + rel;
            std::replace(windows.begin(), windows.end(), '/', '\\');
            const uint32_t attributes = platform::FileAttributes(windows);
            std::string value;
            if ((attributes & platform::kAttrReadOnly) != 0) {
                value += "[ro]";
            }
            if ((attributes & platform::kAttrHidden) != 0) {
                value += "[hidden]";
            }
            if (e.is_directory()) {
                shot[rel + "/"] = value;
            } else {
                shot[rel] = value + testsupport::TempMachine::ReadHostFile(e.path().string());
            }
        }
        return shot;
    }

    // The names of the backup folders under a drive's Temp folder.
    std::vector<std::string> BackupFolders(char drive) const {
        std::vector<std::string> names;
        const fs::path temp = Host(std::string(1, drive) + ":\\Temp");
        if (fs::exists(temp)) {
            for (const auto& e : fs::directory_iterator(temp)) {
                names.push_back(e.path().filename().string());
            }
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string ScreenLog() const {
        return testsupport::TempMachine::ReadHostFile(m_machine.Folder() + "/run/screen.log");
    }

    // An installation with what a real one holds and what the backup must not miss:
    // dot-names at the top and deeper down, read-only and hidden files, an empty folder.
    void MakeInstallation(const std::string& root, const std::string& tag = "") const {
        Write(root + "\\VemraExam.exe", "exe" + tag);
        Write(root + "\\Vemra\\LevelInfo.dat", "level" + tag);
        Write(root + "\\Vemra\\Answer.dat", "answers" + tag);
        Write(root + "\\Vemra\\0007\\company.db", "company" + tag);
        Write(root + "\\Vemra\\_Def\\default.dat", "default" + tag);
        Write(root + "\\Vemra\\.cache\\index", "deep dot folder" + tag);
        Write(root + "\\.settings", "dot file" + tag);
        fs::create_directories(Host(root + "\\Empty"));
        SetAttributes(root + "\\Vemra\\LevelInfo.dat", platform::kAttrReadOnly);
        SetAttributes(root + "\\Vemra\\0007\\company.db", platform::kAttrHidden);
    }

    testsupport::TempMachine m_machine;
    CMivoDlg m_dialog;
};

// ---- RemovePreviousInstallation: drives, Temp folders, time stamp

TEST_F(BackupTest, WithoutInstalledDataNothingIsCopiedOrCreated) {
    MakeInstallation("D:\\VemraExamDB");
    const Snapshot d = Take("D:\\VemraExamDB");

    EXPECT_EQ(RemovePreviousInstallation(m_dialog), 1);

    for (char drive : {'C', 'D', 'E', 'F', 'G'}) {
        SCOPED_TRACE(drive);
        EXPECT_FALSE(Exists(std::string(1, drive) + ":\\Temp"));
    }
    EXPECT_EQ(Take("D:\\VemraExamDB"), d);
    EXPECT_TRUE(RecordingView::s_boxes.empty());
}

TEST_F(BackupTest, EveryFixedDriveIsBackedUpWithOneStampAndOnlyTheTargetIsRemoved) {
    MakeInstallation("C:\\VemraExamDB");
    MakeInstallation("D:\\VemraExamDB", "-d");
    MakeInstallation("E:\\VemraExamDB", "-e");
    MakeInstallation("F:\\VemraExamDB", "-f");
    const Snapshot c = Take("C:\\VemraExamDB");
    const Snapshot d = Take("D:\\VemraExamDB");
    const Snapshot e = Take("E:\\VemraExamDB");
    const Snapshot f = Take("F:\\VemraExamDB");

    const std::string before = StampOf(platform::CurrentLocalTime());
    EXPECT_EQ(RemovePreviousInstallation(m_dialog), 1);
    const std::string after = StampOf(platform::CurrentLocalTime());

    // The target's data is gone, all of it in its backup, dot-names and attributes included.
    EXPECT_FALSE(Exists("C:\\VemraExamDB"));
    const std::vector<std::string> onC = BackupFolders('C');
    ASSERT_EQ(onC.size(), 1u);
    const std::string name = onC[0];
    EXPECT_TRUE(IsBackupFolderName(name)) << name;
    const std::string stamp = name.substr(12, 10);
    EXPECT_LE(before, stamp);
    EXPECT_GE(after, stamp);
    EXPECT_EQ(Take("C:\\Temp\\" + name), c);

    // D: copied under the same name and left in place; G: a Temp folder and nothing more.
    EXPECT_EQ(BackupFolders('D'), std::vector<std::string>{name});
    EXPECT_EQ(Take("D:\\Temp\\" + name), d);
    EXPECT_EQ(Take("D:\\VemraExamDB"), d);
    EXPECT_TRUE(fs::is_directory(Host("G:\\Temp")));
    EXPECT_TRUE(BackupFolders('G').empty());

    // Removable and remote drives are not touched.
    EXPECT_FALSE(Exists("E:\\Temp"));
    EXPECT_FALSE(Exists("F:\\Temp"));
    EXPECT_EQ(Take("E:\\VemraExamDB"), e);
    EXPECT_EQ(Take("F:\\VemraExamDB"), f);

    EXPECT_TRUE(RecordingView::s_boxes.empty());
    EXPECT_EQ(RecordingView::s_cursorShown, 1);
    EXPECT_EQ(RecordingView::s_cursorDepth, 0);
}

TEST_F(BackupTest, TwoRunsInOneSecondWriteIntoOneBackupFolder) {
    // The clock cannot be set, so start right after a second begins and retry the rare
    // pair of runs that straddles a second.
    for (int attempt = 0; attempt < 5; ++attempt) {
        fs::remove_all(Host("C:\\Temp"));
        while (platform::CurrentLocalTime().milliseconds > 300) {
            platform::SleepMilliseconds(10);
        }
        const platform::LocalTime start = platform::CurrentLocalTime();
        MakeInstallation("C:\\VemraExamDB", "-1");
        Write("C:\\VemraExamDB\\only-first.txt", "first");
        ASSERT_EQ(RemovePreviousInstallation(m_dialog), 1);
        // The second installation: same names (one read-only copy to overwrite), new data.
        MakeInstallation("C:\\VemraExamDB", "-2");
        ASSERT_EQ(RemovePreviousInstallation(m_dialog), 1);
        if (StampOf(platform::CurrentLocalTime()) != StampOf(start)) {
            continue;
        }
        const std::vector<std::string> folders = BackupFolders('C');
        ASSERT_EQ(folders.size(), 1u);
        const Snapshot backup = Take("C:\\Temp\\" + folders[0]);
        EXPECT_EQ(backup.at("VemraExam.exe"), "exe-2");
        EXPECT_EQ(backup.at("Vemra/LevelInfo.dat"), "[ro]level-2");
        EXPECT_EQ(backup.at("Vemra/0007/company.db"), "[hidden]company-2");
        EXPECT_EQ(backup.at("only-first.txt"), "first");
        EXPECT_FALSE(Exists("C:\\VemraExamDB"));
        EXPECT_TRUE(RecordingView::s_boxes.empty());
        return;
    }
    GTEST_SKIP() << "no two runs fell into one second in five attempts";
}

// ---- Nothing is deleted that the backup did not copy

TEST_F(BackupTest, AFullDiskKeepsTheInstalledDataAndRefusesTheInstallation) {
    // Drive C on a small file system: the installation fits, its backup beside it does not.
    const std::string driveC = m_machine.Folder() + "/drive_c";
    testsupport::TmpfsMount mount(driveC, 256 * 1024);
    if (!mount.Mounted()) {
        GTEST_SKIP() << "cannot mount a tmpfs on " << driveC << " (" << mount.Problem()
                     << "); the full-disk case needs root with the right to mount";
    }
    fs::create_directories(driveC + "/Windows/system32");
    MakeInstallation("C:\\VemraExamDB");
    for (int i = 0; i < 4; ++i) {
        Write(platform::StringPrintf("C:\\VemraExamDB\\Vemra\\0007\\part%d.db", i),
              std::string(40 * 1024, static_cast<char>('a' + i)));
    }
    const Snapshot c = Take("C:\\VemraExamDB");

    EXPECT_EQ(RemovePreviousInstallation(m_dialog), 0);

    EXPECT_EQ(Take("C:\\VemraExamDB"), c);
    EXPECT_EQ(RecordingView::s_boxes, std::vector<std::string>{kRemovalFailed});
    EXPECT_EQ(RecordingView::s_flags, std::vector<unsigned>{ui::kMbOk});
    EXPECT_NE(ScreenLog().find("flags=0x00 text=" + ui::EscapeForLog(kRemovalFailed)),
              std::string::npos)
        << ScreenLog();
    // The disk really ran full: the backup was begun and could not be finished.
    const std::vector<std::string> folders = BackupFolders('C');
    ASSERT_EQ(folders.size(), 1u);
    EXPECT_LT(Take("C:\\Temp\\" + folders[0]).size(), c.size());
    EXPECT_EQ(RecordingView::s_cursorDepth, 0);
}

TEST_F(BackupTest, StampingOnAFullDiskKeepsTheRecordWhole) {
    const std::string driveC = m_machine.Folder() + "/drive_c";
    testsupport::TmpfsMount mount(driveC, 64 * 1024);
    if (!mount.Mounted()) {
        GTEST_SKIP() << mount.Problem();
    }
    fs::create_directories(driveC + "/Windows/system32");
    const std::string record(388, 'r');
    Write("C:\\VemraExamDB\\Vemra\\LevelInfo.dat", record);
    // Fill the drive to its last byte.
    {
        platform::CrtFile filler;
        ASSERT_EQ(filler.Open("C:\\filler", platform::CrtFile::kWrite | platform::CrtFile::kCreate,
                              platform::CrtFile::kDenyNone),
                  0);
        const std::string block(4096, 'f');
        size_t put = 0;
        while (filler.Write(block.data(), block.size(), put) == 0) {
        }
    }
    m_dialog.m_examNumber = "11100001";
    m_dialog.m_examineeName = "김민준";

    StampLevelRecord(m_dialog);

    const Snapshot after = Take("C:\\VemraExamDB");
    EXPECT_EQ(after, (Snapshot{{"Vemra/", ""}, {"Vemra/LevelInfo.dat", record}}));
}

TEST_F(BackupTest, CopyRefusesASourceThatAnotherProcessDeniesReading) {
    // What the backup relies on: a file held open with a deny-read share mode cannot be
    // copied (Windows answers a sharing violation), while a plain open does not stop a copy.
    Write("C:\\held.dat", "held");
    const std::pair<int, bool> cases[] = {
        {platform::CrtFile::kDenyReadWrite, false},
        {platform::CrtFile::kDenyRead, false},
        {platform::CrtFile::kDenyWrite, true},
        {platform::CrtFile::kDenyNone, true},
    };
    for (const auto& [share, copies] : cases) {
        SCOPED_TRACE(share);
        FileHolder holder("C:\\held.dat", share);
        ASSERT_TRUE(holder.Open());
        EXPECT_EQ(platform::CopyOneFile("C:\\held.dat", "C:\\copy.dat", false), copies);
        if (!copies) {
            EXPECT_EQ(platform::LastError(), platform::kErrorSharingViolation);
        }
        holder.Release();
        EXPECT_TRUE(platform::CopyOneFile("C:\\held.dat", "C:\\copy.dat", false));
    }
}

TEST_F(BackupTest, AFileThatCannotBeReadKeepsTheInstalledDataUntilItCan) {
    MakeInstallation("C:\\VemraExamDB");
    Write("C:\\VemraExamDB\\Vemra\\0007\\zz-after.db", "after the held file");
    const Snapshot c = Take("C:\\VemraExamDB");
    {
        FileHolder holder("C:\\VemraExamDB\\Vemra\\0007\\company.db",
                          platform::CrtFile::kDenyReadWrite);
        ASSERT_TRUE(holder.Open());

        EXPECT_EQ(RemovePreviousInstallation(m_dialog), 0);

        EXPECT_EQ(Take("C:\\VemraExamDB"), c);
        EXPECT_EQ(RecordingView::s_boxes, std::vector<std::string>{kRemovalFailed});
        EXPECT_NE(ScreenLog().find(ui::EscapeForLog(kRemovalFailed)), std::string::npos);
    }
    // Once the other program lets go, the same installation is backed up in full and removed.
    RecordingView::Reset();
    EXPECT_EQ(RemovePreviousInstallation(m_dialog), 1);
    EXPECT_FALSE(Exists("C:\\VemraExamDB"));
    const std::vector<std::string> folders = BackupFolders('C');
    ASSERT_FALSE(folders.empty());
    EXPECT_EQ(Take("C:\\Temp\\" + folders.back()), c);
    EXPECT_TRUE(RecordingView::s_boxes.empty());
}

TEST_F(BackupTest, AnAnswerFileThatSurvivesTheRemovalIsReportedAndTheRunGoesOn) {
    // Open without a deny-read share mode: it is backed up, but cannot be deleted.
    MakeInstallation("C:\\VemraExamDB");
    const Snapshot c = Take("C:\\VemraExamDB");
    FileHolder holder("C:\\VemraExamDB\\Vemra\\Answer.dat", platform::CrtFile::kDenyNone);
    ASSERT_TRUE(holder.Open());

    EXPECT_EQ(RemovePreviousInstallation(m_dialog), 1);

    EXPECT_EQ(RecordingView::s_boxes,
              std::vector<std::string>{
                  "윈도우 시스템 오류로 인해 C:\\VemraExamDB\\\\Vemra\\Answer.dat 파일이 삭제되지 "
                  "않았습니다.\n해당 파일을 수동으로 삭제하여 주세요."});
    EXPECT_TRUE(Exists("C:\\VemraExamDB\\Vemra\\Answer.dat"));
    const std::vector<std::string> folders = BackupFolders('C');
    ASSERT_EQ(folders.size(), 1u);
    EXPECT_EQ(Take("C:\\Temp\\" + folders[0]), c);
}

// ---- BackUpAnswersToDrive

TEST_F(BackupTest, AnswerBackupOnTheRemovableDrive) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::string>> answers;  // below the answer folder
        std::vector<std::string> oldBackup;                        // files of an earlier backup
        Snapshot expected;                                         // of E:\VemraExamDB_Install
    };
    const Case cases[] = {
        {"answers, subfolders, _Def left out, other files left out",
         {{"Answer.dat", "answers"},
          {"01\\q1.dat", "q1"},
          {"_Def\\default.dat", "default"},
          {".cache\\x", "dot"},
          {"LevelInfo.dat", "level"}},
         {},
         {{"Answer.dat", "answers"},
          {"01/", ""},
          {"01/q1.dat", "q1"},
          {".cache/", ""},
          {".cache/x", "dot"}}},
        {"names compared exactly: _def is copied, answer.dat is not",
         {{"answer.dat", "lower"}, {"_def\\d.dat", "lower def"}},
         {},
         {{"_def/", ""}, {"_def/d.dat", "lower def"}}},
        {"an earlier backup is rebuilt, a read-only answer file overwritten",
         {{"Answer.dat", "new"}, {"02\\q2.dat", "q2"}},
         {"Answer.dat", "01\\stale.dat"},
         {{"Answer.dat", "new"}, {"02/", ""}, {"02/q2.dat", "q2"}}},
        {"no answer folder: an empty hidden backup", {}, {"Answer.dat"}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(Host("C:\\VemraExamDB"));
        for (const auto& [path, contents] : c.answers) {
            Write("C:\\VemraExamDB\\Vemra\\" + path, contents);
        }
        for (const std::string& path : c.oldBackup) {
            Write("E:\\VemraExamDB_Install\\" + path, "old");
            SetAttributes("E:\\VemraExamDB_Install\\" + path, platform::kAttrReadOnly);
        }
        if (!c.oldBackup.empty()) {
            SetAttributes("E:\\VemraExamDB_Install", platform::kAttrHidden);
        }

        BackUpAnswersToDrive("E:\\");

        EXPECT_EQ(platform::FileAttributes("E:\\VemraExamDB_Install"),
                  platform::kAttrDirectory | platform::kAttrHidden);
        EXPECT_EQ(Take("E:\\VemraExamDB_Install"), c.expected);
        fs::remove_all(Host("E:\\VemraExamDB_Install"));
    }
    EXPECT_TRUE(RecordingView::s_boxes.empty());
}

}  // namespace

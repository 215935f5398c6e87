// Backup and removal of a previous installation. The examinee's entered answers live inside
// the installed exam data, so this is the step where they are most at risk: the installed
// data is deleted only after a complete copy of it exists on the target drive.
#include "install/backup.h"

#include "fileutil/folder_tree.h"
#include "install/main_program.h"
#include "install/mivo_dlg.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/system.h"
#include "platform/text.h"
#include "ui/view.h"

#include <cstdint>

namespace {

// The exam-data folder at the root of a drive.
constexpr const char* kExamDataFolder = "VemraExamDB";
// The answer folder inside the installed exam data, and the two names the answer backup
// treats apart (compared exactly: "_def" is copied, "answer.dat" is not).
constexpr const char* kAnswerFolder = "VemraExamDB\\Vemra";
constexpr const char* kDefaultAnswersName = "_Def";
constexpr const char* kAnswerFileName = "Answer.dat";
// The hidden answer backup at the root of a removable installer drive.
constexpr const char* kAnswerBackupFolder = "VemraExamDB_Install";

constexpr const char* kRemovalFailedMessage =
    "기존 설치 문제를 삭제 할 수 없어\r\n\r\n문제 설치에 실패했습니다.";
constexpr const char* kLeftoverAnswerFileFormat =
    "윈도우 시스템 오류로 인해 %s 파일이 삭제되지 않았습니다.\n해당 파일을 수동으로 삭제하여 "
    "주세요.";

bool IsDotOrDotDot(const std::string& name) {
    return name == "." || name == "..";
}

bool IsFolder(uint32_t attributes) {
    return attributes != platform::kInvalidAttributes &&
           (attributes & platform::kAttrDirectory) != 0;
}

// `folder` + "\" + `name`, with no doubled backslash when `folder` already ends in one.
std::string Join(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '\\') {
        return folder + name;
    }
    return folder + '\\' + name;
}

// The backup folder of one call on drive `drive` ("C"), named by the call's one time stamp.
std::string BackupFolderOf(const std::string& drive, const platform::LocalTime& stamp) {
    return platform::StringPrintf("%s:\\Temp\\%s_%02d%02d%02d%02d%02d_Inst\\", drive.c_str(),
                                  kExamDataFolder, stamp.month, stamp.day, stamp.hour, stamp.minute,
                                  stamp.second);
}

// Copies every file and folder below `source` into `target`, creating `target` and its
// parents; true only when nothing was left out. CopyFolder is not enough for the backup of
// data about to be deleted: it leaves out names that begin with a dot, which RemoveTree
// then deletes, and it cannot overwrite a read-only or hidden copy that an earlier backup of
// the same time stamp left, so here every name but "." and ".." is copied, an earlier copy
// of the same name is unprotected first (it is our own backup, replaced as the folder name
// says), and any file, folder or listing that fails makes the whole backup incomplete.
// `copied` counts the files copied so far, for the progress display.
bool CopyCompletely(const std::string& source, const std::string& target, uint64_t& copied) {
    if (!MakePath(target) || !IsFolder(platform::FileAttributes(target))) {
        return false;
    }
    platform::FileFinder finder;
    platform::FindData entry;
    if (!finder.First(Join(source, "*.*"), entry)) {
        // Only a folder without a single entry (a drive root) answers "no match"; a folder
        // that cannot be listed must not pass for one that was copied.
        return platform::LastError() == platform::kErrorFileNotFound;
    }
    do {
        PumpMessages();
        if (IsDotOrDotDot(entry.name)) {
            continue;
        }
        const std::string sourceItem = Join(source, entry.name);
        const std::string targetItem = Join(target, entry.name);
        if ((entry.attributes & platform::kAttrDirectory) != 0) {
            if (!CopyCompletely(sourceItem, targetItem, copied)) {
                return false;
            }
            continue;
        }
        if (platform::FileExists(targetItem)) {
            platform::ChangeFileAttributes(targetItem, platform::kAttrNormal);
        }
        if (!platform::CopyOneFile(sourceItem, targetItem, false)) {
            return false;
        }
        ui::CurrentProgress().FilesDone(++copied, 0);
    } while (finder.Next(entry));
    // A listing that breaks off early would leave entries out unnoticed.
    return platform::LastError() == platform::kErrorNoMoreFiles;
}

// Every other fixed drive gets a Temp folder, and a copy of its exam data when it has some.
// These copies are a courtesy: their failures are silent and nothing there is deleted.
void BackUpOtherFixedDrives(uint32_t mask, char targetDrive, const platform::LocalTime& stamp) {
    for (char letter = 'A'; letter <= 'Z'; ++letter, mask >>= 1) {
        if ((mask & 1u) == 0 || letter == targetDrive ||
            platform::DriveTypeOf(platform::StringPrintf("%c:\\", letter)) !=
                platform::kDriveFixed) {
            continue;
        }
        const std::string drive(1, letter);
        const std::string temp = platform::StringPrintf("%s:\\Temp\\", drive.c_str());
        if (!platform::FileExists(temp)) {
            platform::MakeFolder(temp);
        }
        const std::string examData =
            platform::StringPrintf("%s:\\%s\\", drive.c_str(), kExamDataFolder);
        if (platform::FileExists(examData)) {
            CopyTree(BackupFolderOf(drive, stamp), examData);
        }
    }
}

}  // namespace

void BackUpAnswersToDrive(const std::string& driveRoot) {
    const std::string backup =
        platform::StringPrintf("%s%s", driveRoot.c_str(), kAnswerBackupFolder);
    if (platform::FileExists(backup + "\\")) {
        RemoveTree(backup);
    }
    if (!platform::MakeFolder(backup)) {
        return;
    }
    const std::string answers =
        platform::StringPrintf("%c:\\%s", GetTargetDriveLetter(), kAnswerFolder);
    platform::FileFinder finder;
    platform::FindData entry;
    for (bool more = finder.First(Join(answers, "*.*"), entry); more; more = finder.Next(entry)) {
        if (IsDotOrDotDot(entry.name)) {
            continue;
        }
        const std::string source = Join(answers, entry.name);
        if ((entry.attributes & platform::kAttrDirectory) != 0) {
            if (entry.name != kDefaultAnswersName) {
                CopyTree(backup + "\\" + entry.name, source);
            }
        } else if (entry.name == kAnswerFileName) {
            // An older copy may be read-only, which would refuse the overwrite.
            const std::string copy = backup + "\\" + kAnswerFileName;
            platform::ChangeFileAttributes(copy, platform::kAttrNormal);
            platform::CopyOneFile(source, copy, false);
        }
    }
    platform::ChangeFileAttributes(backup, platform::kAttrHidden);
}

int RemovePreviousInstallation(CMivoDlg& dialog) {
    static_cast<void>(dialog);  // owns the wait cursor on Windows; the view shows it here
    const char targetDrive = GetTargetDriveLetter();
    const std::string installed = platform::StringPrintf("%c:\\%s\\", targetDrive, kExamDataFolder);
    if (!platform::FileExists(installed)) {
        return 1;
    }
    // One reading: every backup folder of this call carries the same name.
    const platform::LocalTime stamp = platform::CurrentLocalTime();
    const uint32_t drives = platform::LogicalDrives();
    ui::CurrentProgress().StepStarted(ui::ProgressStep::kBackup, 0);
    {
        const ui::WaitCursor wait;
        BackUpOtherFixedDrives(drives, targetDrive, stamp);
    }

    // Nothing may be deleted that the backup did not copy. When the copy on the target
    // drive is incomplete (a full disk, a file another program holds open, a listing that
    // fails), the installed data is left exactly as it is and the installation is refused;
    // the partial backup stays, as it may share its folder with an earlier backup.
    const std::string backup = BackupFolderOf(std::string(1, targetDrive), stamp);
    uint64_t copied = 0;
    if (!CopyCompletely(installed, backup, copied)) {
        ui::MessageBox(kRemovalFailedMessage, ui::kMbOk);
        return 0;
    }
    // From here on everything in the installed folder has a copy in the backup.
    ui::CurrentProgress().StepStarted(ui::ProgressStep::kRemoval, 0);
    EmptyFolder(installed);
    if (platform::FileExists(installed)) {
        RemoveTree(installed);
    }

    // The installed folder ends in a backslash, so this path holds a doubled one, which the
    // file system accepts and the message shows as it is.
    const std::string leftover = platform::StringPrintf("%s\\Vemra\\Answer.dat", installed.c_str());
    if (platform::FileExists(leftover)) {
        platform::RemoveFile(leftover);
        if (platform::FileExists(leftover)) {
            ui::MessageBox(platform::StringPrintf(kLeftoverAnswerFileFormat, leftover.c_str()),
                           ui::kMbOk);
        }
    }
    return 1;
}

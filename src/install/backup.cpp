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

// The backup folder of one call on drive `drive` ("C"), named by the call's one time stamp.
std::string BackupFolderOf(const std::string& drive, const platform::LocalTime& stamp) {
    return platform::StringPrintf("%s:\\Temp\\%s_%02d%02d%02d%02d%02d_Inst\\", drive.c_str(),
                                  kExamDataFolder, stamp.month, stamp.day, stamp.hour, stamp.minute,
                                  stamp.second);
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
            CopyTree(examData, BackupFolderOf(drive, stamp), CopyFailure::kSkip);
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
    for (bool more = finder.First(JoinPath(answers, "*.*"), entry); more;
         more = finder.Next(entry)) {
        if (IsDotOrDotDot(entry.name)) {
            continue;
        }
        const std::string source = JoinPath(answers, entry.name);
        if ((entry.attributes & platform::kAttrDirectory) != 0) {
            if (entry.name != kDefaultAnswersName) {
                CopyTree(source, backup + "\\" + entry.name, CopyFailure::kSkip);
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
    // The complete copy: every name but "." and ".." (RemoveTree below deletes dot-names
    // too), an earlier copy of the same time stamp overwritten even when read-only or
    // hidden, and any file, folder or listing that fails makes the whole backup incomplete.
    uint64_t copied = 0;
    const auto fileCopied = [&copied] { ui::CurrentProgress().FilesDone(++copied, 0); };
    if (!CopyTree(installed, backup, CopyFailure::kStop, fileCopied)) {
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

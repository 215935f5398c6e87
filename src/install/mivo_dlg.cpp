// The installer's main flow.
#include "install/mivo_dlg.h"

#include "app/prerequisites.h"
#include "app/registry_settings.h"
#include "install/level_record.h"
#include "install/package_db.h"
#include "install/set_up_comform_dlg.h"
#include "install/shortcuts.h"
#include "platform/process.h"
#include "platform/text.h"
#include "ui/view.h"

namespace {

constexpr const char* kReinstallQuestion =
    "시험용 data가 설치되어 있습니다.\r\n\r\n재설치시 답안입력내용을 포함한 기존 "
    "data가\r\n\r\n모두 "
    "삭제됩니다. 재설치 하시겠습니까?";

constexpr const char* kUnreadablePackageFormat =
    "문제 설치파일 %s 을 읽을 수 없어\r\n문제를 설치할 수 없습니다.";

}  // namespace

CMivoDlg::~CMivoDlg() {
    if (m_dbOpen != 0) {
        m_packageDb.Close();
    }
}

int CMivoDlg::DoModal() {
    OnInitDialog();
    return ui::kIdCancel;  // the close request posted by OnInitDialog
}

std::string CMivoDlg::ExamTitle(int ordinal, int level, int examKind) {
    if (ordinal >= 1000) {
        return platform::StringPrintf("제 특별 회 전산%s %d급", FieldWord(level).c_str(),
                                      DisplayedGrade(level));
    }
    if (examKind == 2) {
        return platform::StringPrintf("제 %d 회 세무회계 경진대회", ordinal);
    }
    return platform::StringPrintf("제 %d 회 전산세무회계자격시험", ordinal);
}

bool CMivoDlg::OnInitDialog() {
    if (!IsMainProgramInstalled()) {
        ui::MessageBox(platform::StringPrintf("%s 프로그램을 설치해주세요.", kProductName),
                       ui::kMbIconInformation);
        platform::ExitProcessNow(0);
    }
    if (!IsMainProgramVersionSufficient()) {
        ui::MessageBox("최신버전의 프로그램을 설치한후에 다시 실행해주세요.",
                       ui::kMbIconInformation);
        platform::ExitProcessNow(0);
    }
    if (!IsPackingDateCurrent()) {
        // Only a box that could not be shown at all lets the flow go on.
        if (ui::MessageBox("Vemra 프로그램이 최신버전이 아닙니다.\n최신버전의 프로그램을 "
                           "재설치한후에 다시 실행해주세요.\n\n",
                           ui::kMbIconWarning) != 0) {
            platform::ExitProcessNow(0);
        }
    }

    int ordinal = 0;
    int level = 0;
    bool told = false;
    if (!ReadLevelRecordFromPackage(*this, ordinal, level, &told) && !told) {
        // The package is damaged or carries no record: nothing says which exam it holds, and
        // without its ordinal the reinstall question could not protect an earlier
        // examinee's answers. Nothing has changed yet; say so plainly and stop. (A missing
        // package has been told in the system's words, and the flow goes on: the package
        // of the examinee's own level may well be there.)
        ui::MessageBox(
            platform::StringPrintf(kUnreadablePackageFormat,
                                   RecordPackagePath(GetPackageFolder()).c_str()),
            ui::kMbOk);
        platform::ExitProcessNow(0);
    }
    const std::string title = ExamTitle(ordinal, level, m_examKind);

    CLevelRecord installed;
    if (ReadLevelRecordFile(InstalledLevelRecordPath(), installed) &&
        installed.ExamOrdinal() == ordinal && IsLevelMatch(level, installed.Level())) {
        if (ui::MessageBoxWithCaption(title, kReinstallQuestion,
                                      ui::kMbYesNo | ui::kMbIconInformation) == ui::kIdNo) {
            return true;
        }
    }

    CheckPackageDatabase(ordinal, *this, level);

    CSetUpComformDlg confirm;
    confirm.m_examKind = m_examKind;
    confirm.m_examOrdinal = ordinal;
    confirm.m_level = level;
    confirm.m_title = title;
    confirm.m_mainDialog = this;

    WaitForMainProgramExit();

    if (confirm.DoModal() == ui::kIdOk) {
        CreateExamShortcutAndLaunch(level, *this, ordinal);
        CRegistryKey root;
        WriteExamKind(root, m_examKind);
        RemoveAnswerFolderShortcut();
    }
    return true;
}

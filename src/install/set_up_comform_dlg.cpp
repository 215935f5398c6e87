// The examinee confirmation dialog.
#include "install/set_up_comform_dlg.h"

#include "install/backup.h"
#include "install/install_engine.h"
#include "install/level_record.h"
#include "install/mivo_dlg.h"
#include "install/package_db.h"
#include "platform/files.h"
#include "platform/system.h"
#include "platform/text.h"
#include "ui/view.h"

namespace {

constexpr const char* kWrongLength = "수험번호 길이가 맞지 않습니다.";
constexpr const char* kWrongNumber = "잘못된 수험번호입니다.";
constexpr const char* kWrongPastExamNumber =
    "잘못된 수험번호입니다. \n\n기출문제 수험번호는 아래와 같습니다. \n\n - 세무1급 : 11111111 "
    "\n - 세무2급 : 12111111 \n - 회계1급 : 21111111 \n - 회계2급 : 22111111 \n";
constexpr const char* kNoName = "이름을 입력하세요.";
constexpr const char* kNoPackage =
    "입력한 수험번호에 해당되는 문제 설치파일이\n존재하지 않습니다. \n\n수험번호를 다시 한번 "
    "확인해주시기 바랍니다.\n";
constexpr const char* kNotRegistered =
    "입력하신 수험번호와 이름이 \n응시자정보 데이터에 존재 하지 않습니다. \n\n수험번호와 이름을 "
    "다시 입력하여 주시기 바랍니다.";
constexpr uint32_t kPauseAfterAnswerBackupMs = 300;
constexpr int kPastExamKind = 3;

const char* const kReservedNumbers[] = {"11000000", "12000000", "21000000", "22000000"};
const char* const kPastExamNumbers[] = {"11111111", "12111111", "21111111", "22111111"};

bool IsOneOf(const std::string& text, const char* const (&list)[4]) {
    for (const char* item : list) {
        if (text == item) {
            return true;
        }
    }
    return false;
}

// _wtoi of a short run of characters: leading digits, 0 when there are none.
int LeadingNumber(const std::string& text) {
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            break;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

int LevelOfPrefix(int prefix) {
    switch (prefix) {
        case 11:
            return 1;
        case 12:
            return 2;
        case 21:
            return 3;
        case 22:
            return 4;
        default:
            return 0;
    }
}

}  // namespace

CSetUpComformDlg::CSetUpComformDlg(std::unique_ptr<ui::IConfirmView> view)
    : m_view(std::move(view)) {}

CSetUpComformDlg::~CSetUpComformDlg() = default;

ui::IConfirmView& CSetUpComformDlg::View() {
    return *m_view;
}

int CSetUpComformDlg::DoModal() {
    if (!m_view) {
        m_view = ui::MakeConfirmView(ui::ConfirmLook{m_title, m_examKind, m_examOrdinal});
    }
    if (!m_view) {
        return ui::kIdCancel;
    }
    return m_view->RunModal(*this);
}

void CSetUpComformDlg::OnInitDialog() {
    View().UseNativeInput();
    View().SetFocus(ui::kIdcExamNumber);
}

bool CSetUpComformDlg::IsReservedExamNumber(const std::string& number) {
    return IsOneOf(number, kReservedNumbers);
}

CSetUpComformDlg::ExamNumberVerdict CSetUpComformDlg::JudgeExamNumber(const std::string& number,
                                                                      int ordinal, int examKind,
                                                                      int& level) {
    level = 0;
    if (platform::Utf16Length(number) != 8) {
        return ExamNumberVerdict::kWrongLength;
    }
    level = LevelOfPrefix(LeadingNumber(number.substr(0, 2)));
    if (examKind == kPastExamKind) {
        // A past-exam practice package takes exactly its four announced numbers.
        if (!IsOneOf(number, kPastExamNumbers)) {
            return ExamNumberVerdict::kWrongPastExamNumber;
        }
    } else if (!IsReservedExamNumber(number)) {
        const int type = LeadingNumber(number.substr(2, 1));
        const bool typeValid = ordinal < 1000 ? (type == 1 || type == 4) : (type == 2 || type == 3);
        if (IsOneOf(number, kPastExamNumbers) || level == 0 || !typeValid) {
            return ExamNumberVerdict::kWrongNumber;
        }
    }
    return ExamNumberVerdict::kAccepted;
}

bool CSetUpComformDlg::ValidateExamNumber() {
    const std::string number = TrimText(View().FieldText(ui::kIdcExamNumber));
    int level = 0;
    switch (JudgeExamNumber(number, m_examOrdinal, m_examKind, level)) {
        case ExamNumberVerdict::kWrongLength:
            ui::MessageBox(kWrongLength, ui::kMbOk);
            return false;
        case ExamNumberVerdict::kWrongNumber:
            ui::MessageBox(kWrongNumber, ui::kMbOk);
            return false;
        case ExamNumberVerdict::kWrongPastExamNumber:
            ui::MessageBox(kWrongPastExamNumber, ui::kMbOk);
            return false;
        case ExamNumberVerdict::kAccepted:
            break;
    }
    if (level != 0) {
        m_level = level;
    }
    m_examNumber = number;
    return true;
}

bool CSetUpComformDlg::CheckName() {
    const std::string name = TrimText(View().FieldText(ui::kIdcName));
    if (name.empty() && !IsReservedExamNumber(m_examNumber)) {
        ui::MessageBox(kNoName, ui::kMbOk);
        return false;
    }
    m_name = name;
    return true;
}

bool CSetUpComformDlg::CheckPackageForLevel() {
    const std::string name = PackageName(m_level);
    if (name.empty() || !platform::FileExists(platform::StringPrintf(
                            "%s\\%s", GetPackageFolder().c_str(), name.c_str()))) {
        ui::MessageBox(kNoPackage, ui::kMbOk);
        return false;
    }
    return true;
}

void CSetUpComformDlg::OnInstallClicked() {
    if (!ValidateExamNumber()) {
        View().SetFocus(ui::kIdcExamNumber);
        return;
    }
    if (!CheckName()) {
        View().SetFocus(ui::kIdcName);
        return;
    }
    if (!CheckPackageForLevel()) {
        return;
    }
    CMivoDlg& main = *m_mainDialog;
    main.m_level = m_level;
    if (IsReservedExamNumber(m_examNumber)) {
        main.m_examNumber.clear();
    } else {
        main.m_examNumber = m_examNumber;
        if (main.m_dbOpen != 0) {
            const std::string registered = LookupExaminee(main, m_examNumber, m_name);
            if (registered.empty()) {
                ui::MessageBox(kNotRegistered, ui::kMbOk);
                return;
            }
            if (registered != kLookupPass) {
                m_name = registered;
            }
        }
    }
    main.m_examineeName = m_name;

    const std::string drive = GetInstallerDrive();
    if (platform::DriveTypeOf(drive + ":") == platform::kDriveRemovable) {
        BackUpAnswersToDrive(drive + ":\\");
        platform::SleepMilliseconds(kPauseAfterAnswerBackupMs);
    }
    InstallExamPackage(main);
    StampLevelRecord(main);
    View().EndDialog(ui::kIdOk);
}

void CSetUpComformDlg::OnCancel() {
    View().EndDialog(ui::kIdCancel);
}

void CSetUpComformDlg::OnExamNumberUpdate() {
    const std::string text = View().FieldText(ui::kIdcExamNumber);
    if (platform::Utf16Length(text) == 8 && ValidateExamNumber()) {
        View().MakeNameEditable();
        View().SetFocus(ui::kIdcName);
    }
}

bool CSetUpComformDlg::PreTranslateKeyDown(unsigned virtualKey, bool leftControlDown) {
    if (View().FocusedControl() == ui::kIdcName) {
        // Letter keys have the codes of the capitals; the codes of the small letters belong
        // to the keypad's digits, which the field must not take.
        const bool letter = virtualKey >= 'A' && virtualKey <= 'Z';
        const bool passes = virtualKey == ui::vk::kBack || virtualKey == ui::vk::kSpace ||
                            virtualKey == ui::vk::kLeft || virtualKey == ui::vk::kRight ||
                            virtualKey == ui::vk::kDelete || virtualKey == ui::vk::kProcessKey ||
                            letter;
        if (!passes) {
            return true;
        }
    }
    if (leftControlDown && (virtualKey == 76 || virtualKey == 108)) {
        ShowPackageSummary();
        return true;
    }
    return false;
}

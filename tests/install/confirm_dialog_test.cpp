// The confirmation dialog's rules, driven key by key as a window's fields would be.
#include <gtest/gtest.h>

#include "install/mivo_dlg.h"
#include "install/set_up_comform_dlg.h"
#include "install_test_support.h"

namespace {

using installtest::PackageMachine;
using installtest::TestConfirmView;

constexpr const char* kWrongLength = "수험번호 길이가 맞지 않습니다.";
constexpr const char* kWrongNumber = "잘못된 수험번호입니다.";
constexpr const char* kNoName = "이름을 입력하세요.";

// A dialog over a test view on a machine with all four packages of exam 112.
struct DialogRig {
    explicit DialogRig(int ordinal = 112, int examKind = 1,
                       std::vector<int> levels = {1, 2, 3, 4}) {
        machine.BuildBaseData(ordinal, examKind, levels);
        auto owned = std::make_unique<TestConfirmView>();
        view = owned.get();
        dialog = std::make_unique<CSetUpComformDlg>(std::move(owned));
        dialog->m_examOrdinal = ordinal;
        dialog->m_examKind = examKind;
        dialog->m_level = 3;
        dialog->m_mainDialog = &main;
        dialog->DoModal();
    }
    size_t Boxes() const { return machine.View().boxes.size(); }
    std::string LastBox() const {
        return machine.View().boxes.empty() ? "" : machine.View().boxes.back().text;
    }

    PackageMachine machine;
    CMivoDlg main;
    TestConfirmView* view = nullptr;
    std::unique_ptr<CSetUpComformDlg> dialog;
};

TEST(ConfirmDialog, ExamNumberRules) {
    struct Case {
        int ordinal;
        int examKind;
        const char* number;
        bool accepted;
        int level;            // the stored level after an acceptance (3 is the handed-in one)
        const char* refusal;  // message of a refusal
    };
    const Case cases[] = {
        {112, 1, "1211234", false, 3, kWrongLength},
        {112, 1, "12112345", true, 2, nullptr},
        {112, 1, "11412345", true, 1, nullptr},
        {112, 1, "12212345", false, 3, kWrongNumber},  // type 2 needs a special exam
        {1001, 1, "21312345", true, 3, nullptr},
        {1001, 1, "21112345", false, 3, kWrongNumber},
        {112, 1, "31112345", false, 3, kWrongNumber},  // no level has the prefix 31
        {112, 1, "11111111", false, 3, kWrongNumber},  // a past-exam number in a regular exam
        {112, 1, "22000000", true, 4, nullptr},        // reserved: the type digit is not read
        {1001, 1, "11000000", true, 1, nullptr},
        {112, 2, "22112345", true, 4, nullptr},  // a competition follows the regular rules
        {112, 3, "21111111", true, 3, nullptr},  // past-exam practice: its four numbers
        {112, 3, "12111111", true, 2, nullptr},
        {112, 3, "12112345", false, 3, "기출문제 수험번호는 아래와 같습니다."},
        {112, 3, "22000000", false, 3, "기출문제 수험번호는 아래와 같습니다."},
        {112, 3, "2111111", false, 3, kWrongLength},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.number) + " ordinal " + std::to_string(c.ordinal) + " kind " +
                     std::to_string(c.examKind));
        DialogRig rig(c.ordinal, c.examKind, {1});
        rig.view->TypeText(*rig.dialog, ui::kIdcExamNumber, c.number);
        // Eight digits are judged at once, as the last one is typed.
        const bool eight = std::string(c.number).size() == 8;
        EXPECT_EQ(rig.view->IsNameEditable(), eight && c.accepted);
        EXPECT_EQ(rig.view->FocusedControl(),
                  eight && c.accepted ? ui::kIdcName : ui::kIdcExamNumber);
        EXPECT_EQ(rig.Boxes(), eight && !c.accepted ? 1u : 0u);
        EXPECT_EQ(rig.dialog->ValidateExamNumber(), c.accepted);
        EXPECT_EQ(rig.dialog->m_level, c.level);
        if (c.accepted) {
            EXPECT_EQ(rig.dialog->m_examNumber, c.number);
        } else {
            EXPECT_NE(rig.LastBox().find(c.refusal), std::string::npos) << rig.LastBox();
        }
    }
}

TEST(ConfirmDialog, ExamNumberFieldTakesDigitsOnlyAndEightAtMost) {
    DialogRig rig;
    rig.view->TypeText(*rig.dialog, ui::kIdcExamNumber, "12a-1 12345999");
    EXPECT_EQ(rig.view->FieldText(ui::kIdcExamNumber), "12112345");
    EXPECT_TRUE(rig.view->IsNameEditable());
}

TEST(ConfirmDialog, NameRules) {
    {
        DialogRig rig;
        rig.view->TypeText(*rig.dialog, ui::kIdcExamNumber, "12112345");
        rig.view->PasteText(*rig.dialog, ui::kIdcName, "   ");
        EXPECT_FALSE(rig.dialog->CheckName());
        EXPECT_EQ(rig.LastBox(), kNoName);
        rig.view->PasteText(*rig.dialog, ui::kIdcName, "  홍 길동 ");
        EXPECT_TRUE(rig.dialog->CheckName());
        EXPECT_EQ(rig.dialog->m_name, "홍 길동");
    }
    {
        // A reserved number needs no name.
        DialogRig rig;
        rig.view->TypeText(*rig.dialog, ui::kIdcExamNumber, "22000000");
        ASSERT_TRUE(rig.dialog->ValidateExamNumber());
        EXPECT_TRUE(rig.dialog->CheckName());
        EXPECT_EQ(rig.dialog->m_name, "");
        EXPECT_EQ(rig.Boxes(), 0u);
    }
}

TEST(ConfirmDialog, MissingLevelPackageIsRefusedAndTheDialogStays) {
    DialogRig rig(112, 1, {3});
    rig.view->TypeText(*rig.dialog, ui::kIdcExamNumber, "11112345");
    rig.view->TypeText(*rig.dialog, ui::kIdcName, "kim");
    rig.dialog->OnInstallClicked();
    EXPECT_NE(rig.LastBox().find("입력한 수험번호에 해당되는 문제 설치파일이"), std::string::npos);
    EXPECT_FALSE(rig.view->Ended());
    EXPECT_EQ(rig.main.m_level, 0);  // nothing was handed to the main dialog
}

TEST(ConfirmDialog, NameFieldSwallowsEveryKeyButLettersEditingKeysAndComposition) {
    DialogRig rig;
    rig.view->TypeText(*rig.dialog, ui::kIdcExamNumber, "12112345");
    ASSERT_EQ(rig.view->FocusedControl(), ui::kIdcName);
    // Digits of the main row, hyphen and other punctuation never reach the field; Hangul
    // (composed by the input method), letters and blanks do.
    rig.view->TypeText(*rig.dialog, ui::kIdcName, "홍길동5 kim-lee;");
    EXPECT_EQ(rig.view->FieldText(ui::kIdcName), "홍길동 kimlee");
    struct Key {
        unsigned code;
        bool swallowed;
    };
    const Key keys[] = {
        {'5', true},
        {0x60, true},
        {0x65, true},
        {0x69, true},
        {ui::vk::kTab, true},
        {ui::vk::kReturn, true},
        {ui::vk::kEscape, true},
        {ui::vk::kHome, true},
        {ui::vk::kEnd, true},
        {ui::vk::kUp, true},
        {ui::vk::kDown, true},
        {ui::vk::kOemMinus, true},
        {'A', false},
        {'Z', false},
        {ui::vk::kBack, false},
        {ui::vk::kSpace, false},
        {ui::vk::kLeft, false},
        {ui::vk::kRight, false},
        {ui::vk::kDelete, false},
        {ui::vk::kProcessKey, false},
    };
    for (const Key& k : keys) {
        SCOPED_TRACE(k.code);
        EXPECT_EQ(rig.dialog->PreTranslateKeyDown(k.code, false), k.swallowed);
        EXPECT_EQ(rig.view->FocusedControl(), ui::kIdcName);  // Tab does not leave the field
    }
    // In the exam-number field the same keys are the field's own.
    rig.view->SetFocus(ui::kIdcExamNumber);
    EXPECT_FALSE(rig.dialog->PreTranslateKeyDown('5', false));
    EXPECT_FALSE(rig.dialog->PreTranslateKeyDown(ui::vk::kTab, false));
}

TEST(ConfirmDialog, LeftCtrlLShowsThePackageSummaryFromEitherField) {
    DialogRig rig(112, 1, {1, 3});
    rig.view->PressKey(*rig.dialog, 'L', true);
    ASSERT_EQ(rig.Boxes(), 1u);
    EXPECT_EQ(rig.LastBox(),
              "112회  Level1   회사코드: 0007, 0012 \n\n"
              "112회  Level3   회사코드: 0007, 0012 \n\n");
    rig.view->TypeText(*rig.dialog, ui::kIdcExamNumber, "12112345");
    rig.view->PressKey(*rig.dialog, 'L', true);
    EXPECT_EQ(rig.Boxes(), 2u);
    // Without Ctrl, L is just a letter of the name.
    rig.view->PressKey(*rig.dialog, 'L', false);
    EXPECT_EQ(rig.Boxes(), 2u);
}

TEST(ConfirmDialog, CancelAndExitEndWithoutWritingAnything) {
    DialogRig rig;
    rig.view->TypeText(*rig.dialog, ui::kIdcExamNumber, "12112345");
    rig.view->PressKey(*rig.dialog, ui::vk::kEscape, false);  // swallowed in the name field
    EXPECT_FALSE(rig.view->Ended());
    rig.dialog->OnCancel();
    EXPECT_TRUE(rig.view->Ended());
    EXPECT_EQ(rig.view->Result(), ui::kIdCancel);
    EXPECT_EQ(rig.main.m_level, 0);
    EXPECT_EQ(rig.main.m_examNumber, "");
}

}  // namespace

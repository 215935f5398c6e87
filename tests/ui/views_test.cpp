// The views as a person and a script use them: console answers, screen-log records.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "temp_machine.h"
#include "ui/confirm_view.h"
#include "ui/console_view.h"
#include "ui/view.h"

namespace {

using testsupport::TempMachine;

// Restores the view after a test, so that tests do not see each other's views.
class ViewScope {
public:
    explicit ViewScope(std::unique_ptr<ui::IView> view) { ui::SetView(std::move(view)); }
    ~ViewScope() { ui::SetView(nullptr); }
    ViewScope(const ViewScope&) = delete;
    ViewScope& operator=(const ViewScope&) = delete;
};

TEST(ConsoleView, AnswersFromWhatThePersonTypes) {
    struct Case {
        const char* typed;
        unsigned flags;
        int answer;
    };
    const Case cases[] = {
        {"\n", ui::kMbOk, ui::kIdOk},
        {"anything\n", ui::kMbOk | ui::kMbIconWarning, ui::kIdOk},
        {"", ui::kMbOk, ui::kIdOk},  // input closed: as Escape answers an OK box
        {"y\n", ui::kMbYesNo | ui::kMbIconInformation, ui::kIdYes},
        {"예\n", ui::kMbYesNo, ui::kIdYes},
        {"N\n", ui::kMbYesNo, ui::kIdNo},
        {"maybe\n\n아니요\n", ui::kMbYesNo, ui::kIdNo},  // asked again until it fits
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        std::istringstream in(c.typed);
        std::ostringstream out;
        auto view = ui::MakeConsoleView(in, out);
        EXPECT_EQ(view->ShowMessageBox("mivo", "질문\r\n둘째 줄", c.flags), c.answer);
        EXPECT_NE(out.str().find("== mivo =="), std::string::npos);
        EXPECT_NE(out.str().find("질문\n둘째 줄"), std::string::npos) << out.str();
    }
}

TEST(MessageBox, EveryBoxIsRecordedWithItsAnswer) {
    TempMachine m;
    std::istringstream in("n\n");
    std::ostringstream out;
    ViewScope scope(ui::MakeConsoleView(in, out));
    EXPECT_EQ(ui::MessageBoxWithCaption("제 5 회", "재설치 \"하시겠습니까\"?\r\n", 0x44),
              ui::kIdNo);
    EXPECT_EQ(TempMachine::ReadHostFile(m.Folder() + "/run/screen.log"),
              "messagebox view=console caption=\"제 5 회\" flags=0x44 "
              "text=\"재설치 \\\"하시겠습니까\\\"?\\r\\n\" answer=IDNO\n");
}

TEST(MessageBox, WithoutAViewNothingIsShown) {
    TempMachine m;
    ui::SetView(nullptr);
    EXPECT_EQ(ui::MessageBox("x", ui::kMbOk), 0);
    EXPECT_NE(TempMachine::ReadHostFile(m.Folder() + "/run/screen.log").find("answer=none"),
              std::string::npos);
}

}  // namespace

namespace {

// A confirmation dialog's logic reduced to what the console's rules need: eight digits open
// the name field, the name field swallows digits as the real key filter does, and each
// install click is counted and ends the dialog.
class CountingController final : public ui::IConfirmController {
public:
    explicit CountingController(ui::IConfirmView& view) : m_view(view) {}
    void OnInitDialog() override { m_view.SetFocus(ui::kIdcExamNumber); }
    void OnExamNumberUpdate() override {
        if (m_view.FieldText(ui::kIdcExamNumber).size() == 8) {
            m_view.MakeNameEditable();
            m_view.SetFocus(ui::kIdcName);
        }
    }
    void OnInstallClicked() override {
        ++installs;
        m_view.EndDialog(ui::kIdOk);
    }
    void OnCancel() override { m_view.EndDialog(ui::kIdCancel); }
    bool PreTranslateKeyDown(unsigned key, bool) override {
        return m_view.FocusedControl() == ui::kIdcName && key >= '0' && key <= '9';
    }
    int installs = 0;

private:
    ui::IConfirmView& m_view;
};

TEST(ConsoleConfirm, OnlyAnEmptyLineInstalls) {
    struct Case {
        const char* typed;
        int result;
        int installs;
        const char* shown;  // a piece of the output
    };
    const Case cases[] = {
        // The number typed again at the install prompt is not an Enter.
        {"12100001\nKim\n12100001\n\n", ui::kIdOk, 1, "Enter만 누르십시오"},
        {"12100001\nKim\n\n", ui::kIdOk, 1, "입력: 수험번호 12100001, 이름 Kim"},
        {"12100001\nKim5 Min7\n\n", ui::kIdOk, 1, "빠졌습니다: 57"},
        {"12100001\nKim\nq\n", ui::kIdCancel, 0, "취소되었습니다"},
        {"12100001\nKim\n", ui::kIdCancel, 0, "취소되었습니다"},  // the input ended
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        std::istringstream in(c.typed);
        std::ostringstream out;
        auto view = ui::MakeConsoleView(in, out);
        auto dialog = view->CreateConfirmView(ui::ConfirmLook{"제 112 회", 1, 112});
        CountingController controller(*dialog);
        EXPECT_EQ(dialog->RunModal(controller), c.result);
        EXPECT_EQ(controller.installs, c.installs);
        EXPECT_NE(out.str().find(c.shown), std::string::npos) << out.str();
    }
}

TEST(ConsoleView, ANoSaysThatNothingIsInstalled) {
    std::istringstream in("n\n");
    std::ostringstream out;
    auto view = ui::MakeConsoleView(in, out);
    EXPECT_EQ(view->ShowMessageBox("mivo", "재설치 하시겠습니까?", ui::kMbYesNo), ui::kIdNo);
    EXPECT_NE(out.str().find("취소되었습니다"), std::string::npos) << out.str();
}

TEST(ConsoleView, ProgressIsOneLineRewrittenPerStep) {
    std::istringstream in;
    std::ostringstream out;
    auto view = ui::MakeConsoleView(in, out);
    ui::IProgress& progress = view->Progress();
    progress.StepStarted(ui::ProgressStep::kBackup, 0);
    for (uint64_t i = 1; i <= 60; ++i) {
        progress.FilesDone(i, 0);
    }
    progress.StepStarted(ui::ProgressStep::kExtraction, 1000);
    for (uint64_t i = 1; i <= 1000; ++i) {
        progress.FilesDone(i, 1000);
    }
    progress.Finished();
    const std::string text = out.str();
    // One line per step: each ends once, its updates rewrite it in place.
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2) << text;
    EXPECT_NE(text.find("\r이전 설치 백업 중 ... 50개"), std::string::npos) << text;
    EXPECT_EQ(text.find("... 51개"), std::string::npos) << "redrawn for every file";
    EXPECT_NE(text.find("... 60개\n"), std::string::npos) << "the step ends without its count";
    EXPECT_NE(text.find("\r문제 파일 설치 중 [" + std::string(15, '#') + std::string(15, '-') +
                        "] 500/1000"),
              std::string::npos);
    EXPECT_NE(text.find("[" + std::string(30, '#') + "] 1000/1000\n"), std::string::npos);
    // A percent at a time: 1000 files give 101 drawings of the bar, not 1000.
    size_t bars = 0;
    for (size_t at = text.find("\r문제"); at != std::string::npos;
         at = text.find("\r문제", at + 1)) {
        ++bars;
    }
    EXPECT_EQ(bars, 101u);
}

}  // namespace

// The views as a person and a script use them: console answers, screen-log records.
#include <gtest/gtest.h>

#include <sstream>

#include "temp_machine.h"
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

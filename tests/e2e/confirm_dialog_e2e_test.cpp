// The confirmation dialog in a real run: each refusal shows its message, leaves the dialog
// open and installs nothing; a refused examinee can correct the input and install; the
// name field's key filter and the package summary.
#include <gtest/gtest.h>

#include "exam_machine.h"

namespace {

using e2e::ExamMachine;
using e2e::ExamSpec;
using e2e::ScreenEntry;

std::vector<std::string> Texts(const std::vector<const char*>& texts) {
    return {texts.begin(), texts.end()};
}

TEST(ConfirmationDialog, EachRefusalShowsItsMessageAndInstallsNothing) {
    struct Row {
        const char* what;
        int ordinal;
        int examKind;
        std::vector<int> packages;
        std::vector<std::string> script;  // up to the cancel button
        std::vector<const char*> boxes;
    };
    const Row rows[] = {
        {"seven digits",
         112,
         1,
         {1, 2, 3, 4},
         {"type exam-number 1211234", "press install", "ok"},
         {e2e::kWrongLength}},
        // An invalid number is refused as its eighth digit is typed, and again at install.
        {"type digit 2 in a regular exam",
         112,
         1,
         {1, 2, 3, 4},
         {"type exam-number 12212345", "ok", "press install", "ok"},
         {e2e::kWrongNumber, e2e::kWrongNumber}},
        {"prefix of no level",
         112,
         1,
         {1, 2, 3, 4},
         {"type exam-number 31112345", "ok", "press install", "ok"},
         {e2e::kWrongNumber, e2e::kWrongNumber}},
        {"past-exam number in a regular exam",
         112,
         1,
         {1, 2, 3, 4},
         {"type exam-number 11111111", "ok", "press install", "ok"},
         {e2e::kWrongNumber, e2e::kWrongNumber}},
        {"type digit 1 in a special exam",
         1001,
         1,
         {1, 2, 3, 4},
         {"type exam-number 21112345", "ok", "press install", "ok"},
         {e2e::kWrongNumber, e2e::kWrongNumber}},
        {"no name",
         112,
         1,
         {1, 2, 3, 4},
         {"type exam-number 11100001", "press install", "ok"},
         {e2e::kNoName}},
        {"no package of the level",
         112,
         1,
         {3},
         {"type exam-number 11100001", "type name 김민준", "press install", "ok"},
         {e2e::kNoPackage}},
        {"number not registered",
         112,
         1,
         {1, 2, 3, 4},
         {"type exam-number 11100099", "type name 홍길동", "press install", "ok"},
         {e2e::kNotRegistered}},
        {"registered number, another name",
         112,
         1,
         {1, 2, 3, 4},
         {"type exam-number 11100001", "type name 이서연", "press install", "ok"},
         {e2e::kNotRegistered}},
        {"regular number in a past exam",
         98,
         3,
         {1, 2, 3, 4},
         {"type exam-number 21112345", "ok", "press install", "ok"},
         {e2e::kWrongPastExamNumber, e2e::kWrongPastExamNumber}},
        {"reserved number in a past exam",
         98,
         3,
         {1, 2, 3, 4},
         {"type exam-number 22000000", "ok", "press install", "ok"},
         {e2e::kWrongPastExamNumber, e2e::kWrongPastExamNumber}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ExamSpec exam;
        exam.ordinal = row.ordinal;
        exam.examKind = row.examKind;
        exam.levels = row.packages;
        ExamMachine m({}, exam);
        std::vector<std::string> script = row.script;
        script.push_back("press cancel");
        ASSERT_EQ(m.Run(script), 0);
        EXPECT_EQ(m.UnusedScriptLines(), 0);

        EXPECT_EQ(m.BoxTexts(), Texts(row.boxes));
        const std::vector<ScreenEntry> screen = m.Screen();
        ASSERT_FALSE(screen.empty());
        EXPECT_EQ(screen.back().kind, "closed");
        EXPECT_EQ(screen.back().answer, "IDCANCEL");
        for (const ScreenEntry& e : screen) {
            if (e.kind == "messagebox") {
                EXPECT_EQ(e.flags, "0x00") << e.text;
                EXPECT_EQ(e.caption, "mivo") << e.text;
            }
        }
        // Nothing changed: no data, no registry value, no shortcut, no program started.
        EXPECT_FALSE(e2e::Exists(m.Host("C:\\VemraExamDB")));
        EXPECT_EQ(m.Registry().find("SAExamDBZIP"), std::string::npos);
        EXPECT_EQ(m.Registry().find("ExamKind"), std::string::npos);
        EXPECT_TRUE(e2e::Tree(m.Host("C:\\Users\\Examinee\\Desktop")).empty());
        EXPECT_EQ(m.Started(), "");
    }
}

TEST(ConfirmationDialog, StaysOpenUntilTheCorrectedInputInstalls) {
    const ExamSpec exam;
    ExamMachine m({}, exam);
    const std::string name = e2e::RegisteredName("11100001");
    ASSERT_EQ(m.Run({"key ctrl-l", "ok",  // the package summary, from the number field
                     "type exam-number 11100099", "type name 홍길동", "press install", "ok",
                     "clear exam-number", "type exam-number 11100001",
                     // The name field takes no digits.
                     "clear name", "type name 5" + name.substr(0, 3) + "7" + name.substr(3),
                     "press install"}),
              0);
    EXPECT_EQ(m.UnusedScriptLines(), 0);
    const std::string summary =
        "112회  Level1   회사코드: 0007, 0012 \n\n112회  Level2   회사코드: 0007, 0012 \n\n"
        "112회  Level3   회사코드: 0007, 0012 \n\n112회  Level4   회사코드: 0007, 0012 \n\n";
    EXPECT_EQ(m.BoxTexts(), (std::vector<std::string>{summary, e2e::kNotRegistered}));
    const std::vector<ScreenEntry> screen = m.Screen();
    ASSERT_FALSE(screen.empty());
    EXPECT_EQ(screen.back().answer, "IDOK");
    EXPECT_EQ(screen.back().examNumber, "11100001");
    EXPECT_EQ(screen.back().name, name);
    e2e::ExpectInstalledExam(m, exam, 1, "11100001", name);
}

}  // namespace

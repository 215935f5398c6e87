// Reading the level record out of packages, and the record's layout.
#include <gtest/gtest.h>

#include <filesystem>

#include "install/level_record.h"
#include "install/mivo_dlg.h"
#include "install_test_support.h"

namespace {

using installtest::PackageMachine;
using package::PackageRecipe;

void Package(const PackageMachine& m, int level, PackageRecipe recipe) {
    recipe.level = level;
    std::string problem;
    ASSERT_TRUE(package::BuildPackage(
        m.PackageFolder() + "/BaseData/Level" + std::to_string(level) + "/VemraExamDB.zip", recipe,
        problem))
        << problem;
}

PackageRecipe Recipe(int ordinal, int examKind,
                     const std::string& recordName = "Vemra/LevelInfo.dat",
                     size_t recordSize = 388) {
    PackageRecipe recipe;
    recipe.ordinal = ordinal;
    recipe.examKind = examKind;
    recipe.recordName = recordName;
    recipe.recordSize = recordSize;
    return recipe;
}

struct ReadResult {
    bool ok;
    int ordinal;
    int level;
    int kind;
};

ReadResult Read() {
    CMivoDlg dialog;
    int ordinal = 0;
    int level = 0;
    const bool ok = ReadLevelRecordFromPackage(dialog, ordinal, level);
    return {ok, ordinal, level, dialog.m_examKind};
}

TEST(LevelRecord, PackageChoiceFallsBackFromLevel3ToLevel4ToLevel2) {
    {
        PackageMachine m;
        Package(m, 2, Recipe(20, 2));
        Package(m, 3, Recipe(30, 0));
        const ReadResult r = Read();
        EXPECT_TRUE(r.ok);
        EXPECT_EQ(r.ordinal, 30);
        EXPECT_EQ(r.level, 3);
        EXPECT_EQ(r.kind, 0);
    }
    {
        PackageMachine m;
        Package(m, 2, Recipe(20, 2));
        Package(m, 4, Recipe(40, 3));
        const ReadResult r = Read();
        EXPECT_EQ(r.ordinal, 40);
        EXPECT_EQ(r.kind, 3);
    }
    // Only Level1: the Level2 path is opened anyway and fails with the system's text, for
    // a missing file or, when its folder is missing too, for a missing path.
    for (const bool withFolder : {true, false}) {
        SCOPED_TRACE(withFolder ? "Level2 folder present" : "Level2 folder missing");
        PackageMachine m;
        Package(m, 1, Recipe(10, 1));
        if (withFolder) {
            std::filesystem::create_directories(m.PackageFolder() + "/BaseData/Level2");
        }
        const ReadResult r = Read();
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.ordinal, 0);
        ASSERT_EQ(m.View().boxes.size(), 1u);
        EXPECT_EQ(m.View().boxes[0].text, withFolder ? "지정된 파일을 찾을 수 없습니다.\r\n"
                                                     : "지정된 경로를 찾을 수 없습니다.\r\n");
        EXPECT_EQ(m.View().boxes[0].flags, 0u);
    }
}

TEST(LevelRecord, RecordFileVariants) {
    struct Case {
        const char* what;
        std::string name;
        size_t size;
        bool found;
        int kind;
    };
    const Case cases[] = {
        {"lower-case name", "vemra/levelinfo.dat", 388, true, 1},
        {"short file: the rest reads as zero", "Vemra/LevelInfo.dat", 100, true, 0},
        {"300 bytes still hold the kind", "Vemra/LevelInfo.dat", 300, true, 1},
        {"long file: the first 388 bytes", "Vemra/LevelInfo.dat", 500, true, 1},
        {"no record at all", "Vemra/Other.dat", 388, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PackageMachine m;
        Package(m, 3, Recipe(1000, 1, c.name, c.size));
        const ReadResult r = Read();
        EXPECT_EQ(r.ok, c.found);
        EXPECT_EQ(r.ordinal, c.found ? 1000 : 0);
        EXPECT_EQ(r.kind, c.kind);
        EXPECT_TRUE(m.View().boxes.empty());
        // The scratch folder is gone after a read.
        EXPECT_EQ(std::filesystem::exists(m.PackageFolder() + "/VemraExamDB"), false);
    }
}

TEST(LevelRecord, DamagedPackageShowsNoDataButKeepsZero) {
    PackageMachine m;
    m.Machine().WriteHostFile(m.PackageFolder() + "/BaseData/Level3/VemraExamDB.zip",
                              "this is not a zip archive at all");
    const ReadResult r = Read();
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.ordinal, 0);
    EXPECT_EQ(r.level, 0);
}

TEST(LevelRecord, SummaryListsEveryPresentLevelInOrder) {
    PackageMachine m;
    m.BuildBaseData(107, 1, {4, 1, 2});
    ShowPackageSummary();
    ASSERT_EQ(m.View().boxes.size(), 1u);
    EXPECT_EQ(m.View().boxes[0].text,
              "107회  Level1   회사코드: 0007, 0012 \n\n"
              "107회  Level2   회사코드: 0007, 0012 \n\n"
              "107회  Level4   회사코드: 0007, 0012 \n\n");
}

TEST(LevelRecord, DerivedValues) {
    const int grades[] = {0, 1, 2, 1, 2};
    for (int level = 1; level <= 4; ++level) {
        SCOPED_TRACE(level);
        EXPECT_EQ(DisplayedGrade(level), grades[level]);
        EXPECT_EQ(FieldWord(level), level <= 2 ? "세무" : "회계");
    }
    EXPECT_TRUE(IsLevelMatch(1, 3));
    EXPECT_TRUE(IsLevelMatch(3, 1));
    EXPECT_TRUE(IsLevelMatch(1, 1));
    EXPECT_FALSE(IsLevelMatch(2, 4));
    EXPECT_FALSE(IsLevelMatch(4, 2));
    EXPECT_TRUE(IsLevelMatch(4, 4));
    EXPECT_FALSE(IsLevelMatch(1, 2));
    EXPECT_EQ(CMivoDlg::ExamTitle(1000, 2, 0), "제 특별 회 전산세무 2급");
    EXPECT_EQ(CMivoDlg::ExamTitle(1234, 4, 2), "제 특별 회 전산회계 2급");
    EXPECT_EQ(CMivoDlg::ExamTitle(1000, 3, 0), "제 특별 회 전산회계 1급");
    EXPECT_EQ(CMivoDlg::ExamTitle(5, 1, 2), "제 5 회 세무회계 경진대회");
    EXPECT_EQ(CMivoDlg::ExamTitle(999, 1, 3), "제 999 회 전산세무회계자격시험");
}

TEST(LevelRecord, TextFieldsAreCutAtTwentyUnitsAndKeepTheRest) {
    CLevelRecord record;
    record.Bytes()[16 + 2 * 10] = 0x77;  // an old unit behind the new terminator
    record.SetExamNumber("12112345");
    EXPECT_EQ(record.ExamNumber(), "12112345");
    EXPECT_EQ(record.Bytes()[16 + 2 * 8], 0);
    EXPECT_EQ(record.Bytes()[16 + 2 * 10], 0x77);
    record.SetExamineeName("가나다라마바사아자차카타파하가나다라마바사아자");
    EXPECT_EQ(record.ExamineeName(), "가나다라마바사아자차카타파하가나다라마바");
    EXPECT_EQ(record.Bytes()[58 + 40], 0);
    EXPECT_EQ(record.Bytes()[58 + 41], 0);
    record.SetExamNumber("");
    EXPECT_EQ(record.ExamNumber(), "");
}

}  // namespace

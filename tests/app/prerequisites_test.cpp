// The tests of the main program, each at its thresholds, on machines built for the case.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/prerequisites.h"
#include "app/registry_settings.h"
#include "built_machine.h"
#include "pe_writer.h"
#include "platform/posix/machine.h"

namespace {

using apptest::BuiltMachine;
using machine::MachineRecipe;

MachineRecipe WithDbVersion(std::optional<pe::PeVersion> version) {
    MachineRecipe recipe;
    recipe.dbServerVersion = version;
    return recipe;
}

TEST(ComponentCheck, DatabaseServerVersionIsOneOrderedVersion) {
    struct Case {
        std::optional<pe::PeVersion> version;
        bool passes;
    };
    const Case cases[] = {
        {pe::PeVersion{3, 8, 5, 0}, true},
        {pe::PeVersion{3, 8, 5, 77}, true},
        {pe::PeVersion{3, 9, 4, 0}, true},
        {pe::PeVersion{4, 0, 0, 0}, true},
        {pe::PeVersion{10, 2, 7, 0}, true},
        {pe::PeVersion{4, 9, 5, 0}, true},
        {pe::PeVersion{3, 8, 4, 9}, false},
        {pe::PeVersion{2, 9, 9, 0}, false},
        {pe::PeVersion{3, 7, 99, 0}, false},
        {pe::PeVersion{0, 1, 2, 3}, true},  // major 0 passes
        {std::nullopt, true},               // no resource
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.version ? pe::PeVersionText(*c.version) : "no version resource");
        BuiltMachine m(WithDbVersion(c.version));
        EXPECT_EQ(CheckMainProgramComponents(), c.passes);
    }
}

TEST(ComponentCheck, VersionRuleAppliesOnlyToTheServerByName) {
    BuiltMachine m;
    std::string host;
    ASSERT_TRUE(platform::posix::HostPathOf("C:\\Vemra\\Other.exe", host));
    const pe::PeVersion old{1, 0, 0, 0};
    std::string problem;
    ASSERT_TRUE(pe::WritePeFile(host, &old, problem)) << problem;
    EXPECT_TRUE(IsDbServerVersionSufficient("C:\\Vemra\\Other.exe"));
    // The name test is case-sensitive: a differently cased path is not "the server".
    ASSERT_TRUE(platform::posix::HostPathOf("C:\\Vemra\\VemraDBServer.exe", host));
    ASSERT_TRUE(pe::WritePeFile(host, &old, problem)) << problem;
    EXPECT_FALSE(IsDbServerVersionSufficient("C:\\Vemra\\VemraDBServer.exe"));
    EXPECT_TRUE(IsDbServerVersionSufficient("C:\\VEMRA\\VEMRADBSERVER.EXE"));
    // A file that is no executable at all has no version resource: it passes.
    ASSERT_TRUE(platform::posix::HostPathOf("C:\\Vemra\\Text.exe", host));
    std::ofstream(host) << "not a program";
    EXPECT_TRUE(IsDbServerVersionSufficient("C:\\Vemra\\Text.exe"));
}

TEST(ComponentCheck, LibraryDateThreshold) {
    const std::pair<const char*, bool> cases[] = {
        {"2024-12-30", false}, {"2024-12-31", true}, {"2025-01-01", true}, {"2019-06-01", false}};
    for (const auto& [date, passes] : cases) {
        SCOPED_TRACE(date);
        MachineRecipe recipe;
        recipe.tandrelDate = date;
        BuiltMachine m(recipe);
        EXPECT_EQ(CheckMainProgramComponents(), passes);
    }
}

TEST(ComponentCheck, EveryComponentIsRequired) {
    for (const char* name : machine::kComponentFiles) {
        SCOPED_TRACE(name);
        MachineRecipe recipe;
        recipe.omitComponents = {name};
        BuiltMachine m(recipe);
        EXPECT_FALSE(CheckMainProgramComponents());
    }
}

TEST(ComponentCheck, NoPathValueLooksAtTheDriveRootAndFails) {
    MachineRecipe recipe;
    recipe.writePathValue = false;
    BuiltMachine m(recipe);
    EXPECT_FALSE(CheckMainProgramComponents());
    EXPECT_FALSE(IsMainProgramInstalled());
}

TEST(MainProgram, InstalledNeedsPathAndMainExecutable) {
    {
        BuiltMachine m;
        EXPECT_TRUE(IsMainProgramInstalled());
    }
    {
        MachineRecipe recipe;
        recipe.omitComponents = {"VemraExam.exe"};
        BuiltMachine m(recipe);
        EXPECT_FALSE(IsMainProgramInstalled());
    }
    {
        MachineRecipe recipe;
        recipe.mainProgram = false;
        BuiltMachine m(recipe);
        EXPECT_FALSE(IsMainProgramInstalled());
    }
}

TEST(MainProgram, DisplayVersionMustBeAboveOnePointZero) {
    const std::pair<std::optional<std::string>, bool> cases[] = {
        {"1", false},    {"1.0", false}, {"0.9", false},        {"1.01", true},
        {"1.1", true},   {"2", true},    {"2.0", true},         {"2.3.4", true},
        {"v2.0", false}, {"", false},    {std::nullopt, false}, {"1.0.9", false},
        // Past the int range the number saturates, as Windows' runtime reads it.
        {"2147483648", true}, {"-2147483649", false}, {"99999999999999999999.0", true},
    };
    for (const auto& [version, passes] : cases) {
        SCOPED_TRACE(version.value_or("(missing)"));
        MachineRecipe recipe;
        recipe.displayVersion = version;
        BuiltMachine m(recipe);
        EXPECT_EQ(IsMainProgramVersionSufficient(), passes);
    }
}

TEST(MainProgram, PackingDateThreshold) {
    struct Case {
        std::optional<std::vector<uint8_t>> bytes;
        bool passes;
        const char* what;
    };
    const Case cases[] = {
        {machine::PackingDateBytes(20250813), false, "20250813"},
        {machine::PackingDateBytes(20250814), true, "20250814"},
        {machine::PackingDateBytes(20261207), true, "20261207"},
        {machine::PackingDateBytes(-20250814), false, "negative"},
        {std::nullopt, false, "missing"},
        // The low three bytes of 20250814 (0x013500BE): the missing top byte reads as 0.
        {std::vector<uint8_t>{0xBE, 0x00, 0x35}, false, "three bytes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MachineRecipe recipe;
        recipe.packingDate = c.bytes;
        BuiltMachine m(recipe);
        EXPECT_EQ(IsPackingDateCurrent(), c.passes);
    }
    MachineRecipe none;
    none.mainProgram = false;
    BuiltMachine m(none);
    EXPECT_FALSE(IsPackingDateCurrent());
}

TEST(MainProgram, ShortPackingDateFillsTheLowBytes) {
    MachineRecipe recipe;
    recipe.packingDate = std::vector<uint8_t>{0x10, 0x27};
    BuiltMachine m(recipe);
    bool opened = false;
    EXPECT_EQ(ReadPackingDate(opened), 10000);
    EXPECT_TRUE(opened);
}

TEST(MainProgram, WaitForExitReturnsAtOnceWhenNotRunning) {
    BuiltMachine m;
    EXPECT_TRUE(WaitForMainProgramExit());
    EXPECT_EQ(m.Read("run/screen.log"), "");
}

}  // namespace

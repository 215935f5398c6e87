// The main program's locators: the target drive and the main program's folder.
#include <gtest/gtest.h>

#include "app/prerequisites.h"
#include "built_machine.h"
#include "install/main_program.h"

namespace {

using apptest::BuiltMachine;
using machine::MachineRecipe;

TEST(MainProgram, TargetDriveAndDefaultFolderFollowTheSystemDrive) {
    {
        MachineRecipe recipe;
        recipe.systemDrive = 'D';
        recipe.packageDrive = 'E';
        recipe.mainProgram = false;
        BuiltMachine m(recipe);
        EXPECT_EQ(GetTargetDriveLetter(), 'D');
        EXPECT_EQ(GetMainProgramPath(), "D:\\Vemra");
    }
    {
        MachineRecipe recipe;
        recipe.mainProgramFolder = "C:\\Program Files\\Vemra\\";
        BuiltMachine m(recipe);
        // Used as stored, trailing backslash and all.
        EXPECT_EQ(GetMainProgramPath(), "C:\\Program Files\\Vemra\\");
        EXPECT_TRUE(IsMainProgramInstalled());
    }
}

}  // namespace

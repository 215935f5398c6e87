// Test support for the application shell: a machine made by the machine builder in a fresh
// temporary folder, removed at the end; and small helpers to run the installer on it.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "machine_builder.h"

namespace apptest {

/// Paths of the programs under test, given by the build.
std::string InstallerProgram();
std::string StandinProgram();

/// A built machine in a temporary folder; the folder is removed by the destructor.
class BuiltMachine {
public:
    /// Builds the machine with `recipe` (its folder is chosen here); the test fails when it
    /// cannot be built.
    explicit BuiltMachine(machine::MachineRecipe recipe = {});
    ~BuiltMachine();
    BuiltMachine(const BuiltMachine&) = delete;
    BuiltMachine& operator=(const BuiltMachine&) = delete;

    const machine::MachineRecipe& Recipe() const { return m_spec; }
    const std::string& Folder() const { return m_spec.folder; }
    /// A file of the machine folder, read whole ("" when missing).
    std::string Read(const std::string& relative) const;
    /// Runs the installer placed in the machine and answers its exit code.
    int RunInstaller(const std::string& extraEnvironment = "") const;

private:
    machine::MachineRecipe m_spec;
};

}  // namespace apptest

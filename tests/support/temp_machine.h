// Test support: a simulated machine in a fresh temporary folder, loaded for the test and
// removed afterwards (the test fails when it cannot be removed).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace testsupport {

/// A machine folder with drive C: (fixed) and optional further drives; loaded on SetUp.
class TempMachine {
public:
    /// Makes the folder with machine.ini and an empty registry.reg. `drives` holds further
    /// lines of the [drives] section ("E = removable, drive_e\n"); `extraIni` further sections.
    explicit TempMachine(const std::string& drives = "", const std::string& extraIni = "");
    ~TempMachine();
    TempMachine(const TempMachine&) = delete;
    TempMachine& operator=(const TempMachine&) = delete;

    /// The machine folder (host path).
    const std::string& Folder() const { return m_folder; }
    /// Host path of a Windows path on this machine ("C:\\a" -> ".../drive_c/a"); the names
    /// are taken as written, without case folding.
    std::string Host(const std::string& windowsPath) const;
    /// Writes a host file (creating its parent folders).
    void WriteHostFile(const std::string& hostPath, const std::string& contents) const;
    /// Reads a host file whole; empty when it cannot be read.
    static std::string ReadHostFile(const std::string& hostPath);
    /// Makes a host folder and its missing parents.
    static void MakeHostFolder(const std::string& hostPath);
    /// Sets a host file's modification time (seconds since 1970 UTC); false when it cannot.
    static bool SetHostModified(const std::string& hostPath, int64_t seconds);
    /// Loads the machine again, so that nothing the platform kept in memory can answer.
    void Reload() const;

private:
    std::string m_folder;  // host folder of the machine
};

/// A gtest fixture that owns a TempMachine with drive C:.
class MachineTest : public ::testing::Test {
protected:
    MachineTest() : m_machine() {}
    TempMachine m_machine;
};

}  // namespace testsupport

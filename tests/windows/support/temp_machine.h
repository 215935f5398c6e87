// Test support on Windows: the machine is the Windows the tests run on, a disposable Wine
// prefix. The class keeps the shape of the simulated machine's TempMachine so that the
// platform's contract tests compile unchanged; what a test makes on C:\ goes away after it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

/// The running Windows as a test machine. Refuses to work (the test fails) unless the
/// environment variable MIVO_DISPOSABLE_WINDOWS is 1: the tests write to C:\ and remove
/// everything new there afterwards, which only a throw-away Wine prefix may suffer.
class TempMachine {
public:
    /// `drives` and `extraIni` configure a simulated machine; Windows has its own drives
    /// and settings, so tests that need them are excluded from the Windows run.
    explicit TempMachine(const std::string& drives = "", const std::string& extraIni = "");
    ~TempMachine();
    TempMachine(const TempMachine&) = delete;
    TempMachine& operator=(const TempMachine&) = delete;

    /// A scratch folder for the test's own files (a Windows path on C:).
    const std::string& Folder() const { return m_folder; }
    /// The path itself: Windows paths are the host's paths here.
    std::string Host(const std::string& windowsPath) const { return windowsPath; }
    /// Writes a file (creating its parent folders).
    void WriteHostFile(const std::string& hostPath, const std::string& contents) const;
    /// Reads a file whole; empty when it cannot be read.
    static std::string ReadHostFile(const std::string& hostPath);
    /// Makes a folder and its missing parents.
    static void MakeHostFolder(const std::string& hostPath);
    /// Sets a file's modification time (seconds since 1970 UTC); false when it cannot.
    static bool SetHostModified(const std::string& hostPath, int64_t seconds);
    /// Nothing to load again: the registry and the files are the system's own.
    void Reload() const {}

private:
    std::vector<std::string> m_rootBefore;  // names in C:\ before the test
    std::string m_folder;                   // scratch folder
};

/// A gtest fixture that owns a TempMachine.
class MachineTest : public ::testing::Test {
protected:
    MachineTest() : m_machine() {}
    TempMachine m_machine;
};

/// True when the tests may write to C:\ (see TempMachine).
bool DisposableWindows();

}  // namespace testsupport

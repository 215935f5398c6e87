// A second process on Windows for the contract tests: windows_helper.exe beside the test,
// started with pipes for its standard input (the "keep holding" signal) and output (the
// report of what it took). The simulated machine has its own second_process.h with the
// same class.
#pragma once

#include "temp_machine.h"

#include <string>
#include <vector>

namespace platformtest {

/// A running helper, ended by Finish (closing its input) or Kill, or when destroyed.
class SecondProcess {
public:
    /// windows_helper.exe with the words `args` ("mutex NAME", "open PATH SHARE",
    /// "window TITLE", "cwd PATH"); the machine is the running Windows.
    SecondProcess(const testsupport::TempMachine& machine, const std::vector<std::string>& args);
    ~SecondProcess();
    SecondProcess(const SecondProcess&) = delete;
    SecondProcess& operator=(const SecondProcess&) = delete;

    /// The "ready ..." line without "ready " and the line break; empty when none came.
    std::string Report();
    /// Lets the helper end normally and waits for it; its exit code.
    int Finish();
    /// Ends the helper at once (TerminateProcess): nothing of its own runs on the way out.
    void Kill();

private:
    int Wait();
    void* m_process = nullptr;  // HANDLE of the helper
    void* m_input = nullptr;    // HANDLE: our end of its standard input
    void* m_output = nullptr;   // HANDLE: our end of its standard output
};

}  // namespace platformtest

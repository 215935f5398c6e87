// A second process on Windows: windows_helper.exe with pipes for its standard streams.
#include "second_process.h"

#include "platform/process.h"
#include "platform/text.h"

#include <windows.h>

namespace platformtest {

namespace {

std::wstring Wide(const std::string& utf8) {
    const std::u16string units = platform::Utf8ToUtf16(utf8);
    return std::wstring(units.begin(), units.end());
}

// A word of a command line as CommandLineToArgvW splits it back (no word here ends in a
// backslash or holds a quote).
std::string Quoted(const std::string& word) {
    std::string quoted;
    quoted += '"';
    quoted += word;
    quoted += '"';
    return quoted;
}

}  // namespace

SecondProcess::SecondProcess(const testsupport::TempMachine& /*machine*/,
                             const std::vector<std::string>& args) {
    const std::string module = platform::ModulePath();
    const std::string helper =
        module.substr(0, module.find_last_of('\\') + 1) + "windows_helper.exe";
    std::string line = Quoted(helper);
    for (const std::string& arg : args) {
        line += ' ';
        line += Quoted(arg);
    }

    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE childInput = nullptr;
    HANDLE ourInput = nullptr;
    HANDLE ourOutput = nullptr;
    HANDLE childOutput = nullptr;
    if (!CreatePipe(&childInput, &ourInput, &inherit, 0) ||
        !CreatePipe(&ourOutput, &childOutput, &inherit, 0)) {
        ADD_FAILURE() << "CreatePipe failed: " << GetLastError();
        return;
    }
    // Only the child's ends are inherited.
    SetHandleInformation(ourInput, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(ourOutput, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childInput;
    startup.hStdOutput = childOutput;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION started{};
    std::wstring commandLine = Wide(line);
    if (CreateProcessW(Wide(helper).c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                       nullptr, &startup, &started)) {
        CloseHandle(started.hThread);
        m_process = started.hProcess;
    } else {
        ADD_FAILURE() << "cannot start " << helper << ": " << GetLastError();
    }
    CloseHandle(childInput);
    CloseHandle(childOutput);
    m_input = ourInput;
    m_output = ourOutput;
}

SecondProcess::~SecondProcess() {
    if (m_process != nullptr) {
        Kill();
    }
    if (m_input != nullptr) {
        CloseHandle(m_input);
    }
    if (m_output != nullptr) {
        CloseHandle(m_output);
    }
}

std::string SecondProcess::Report() {
    std::string text;
    char c = 0;
    DWORD got = 0;
    while (m_output != nullptr && ReadFile(m_output, &c, 1, &got, nullptr) && got == 1 &&
           c != '\n') {
        text += c;
    }
    if (!text.empty() && text.back() == '\r') {
        text.pop_back();  // the C runtime writes text-mode line ends
    }
    if (text.empty()) {
        return "";
    }
    return text.rfind("ready ", 0) == 0 ? text.substr(6) : "bad report: " + text;
}

int SecondProcess::Finish() {
    CloseHandle(m_input);
    m_input = nullptr;
    return Wait();
}

void SecondProcess::Kill() {
    TerminateProcess(m_process, 9);
    Wait();
}

int SecondProcess::Wait() {
    if (m_process == nullptr) {
        return -1;
    }
    WaitForSingleObject(m_process, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(m_process, &code);
    CloseHandle(m_process);
    m_process = nullptr;
    return static_cast<int>(code);
}

}  // namespace platformtest

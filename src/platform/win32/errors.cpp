// The last-error code is the thread's own Win32 last error; texts come from the system's
// message table.
#include <cstring>

#include "platform/crt_errno.h"
#include "platform/errors.h"
#include "platform/win32/wide.h"

namespace platform {

namespace {

// FormatMessageW into UTF-8 in one language; empty when the system has no text in it.
std::string SystemText(uint32_t code, DWORD language) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, language, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text;
    if (length > 0 && buffer != nullptr) {
        text = win32::Narrow(buffer, length);
    }
    if (buffer != nullptr) {
        LocalFree(buffer);
    }
    return text;
}

}  // namespace

uint32_t LastError() {
    return GetLastError();
}

void SetLastErrorCode(uint32_t code) {
    SetLastError(code);
}

std::string FormatSystemError(uint32_t code) {
    // The installer's users run a Korean Windows; the Korean table is asked first so that a
    // system with several languages answers as the users' does, then the system's own.
    const DWORD saved = GetLastError();
    std::string text = SystemText(code, MAKELANGID(LANG_KOREAN, SUBLANG_KOREAN));
    if (text.empty()) {
        text = SystemText(code, 0);
    }
    SetLastError(saved);
    return text;
}

const char* CrtErrorText(int errnoValue) {
    // The C runtime's own table: the numbers are already the Windows runtime's.
    return strerror(errnoValue);
}

}  // namespace platform

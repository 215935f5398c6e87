// UTF-8 (the core's strings) widened to UTF-16 at each Win32 call, and back. Not part of
// the platform interface: only Windows code (src/platform/win32, src/ui/win32) includes it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/text.h"

namespace platform::win32 {

/// The UTF-16 form of a UTF-8 text, as the W functions take it.
inline std::wstring Wide(std::string_view text) {
    const std::u16string units = Utf8ToUtf16(text);
    return std::wstring(units.begin(), units.end());
}

/// The UTF-8 form of `count` UTF-16 units.
inline std::string Narrow(const wchar_t* text, size_t count) {
    return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text), count));
}

/// The UTF-8 form of a terminated UTF-16 text.
inline std::string Narrow(const wchar_t* text) {
    return Narrow(text, wcslen(text));
}

/// Seconds since 1970 UTC of a FILETIME (100 ns units since 1601).
inline int64_t UnixFromFileTime(const FILETIME& time) {
    const uint64_t ticks = (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    return static_cast<int64_t>(ticks / 10000000ULL) - 11644473600LL;
}

/// The FILETIME of seconds since 1970 UTC.
inline FILETIME FileTimeFromUnix(int64_t seconds) {
    const uint64_t ticks = static_cast<uint64_t>(seconds + 11644473600LL) * 10000000ULL;
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
    time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return time;
}

}  // namespace platform::win32

// Text conversions shared by every platform: UTF-8 (the core's strings) to and from
// UTF-16 (the code units that formats and Win32 count), and the case rules of file names.
// Pure C++: no operating-system call lives here.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

/// UTF-8 to UTF-16. Malformed bytes become U+FFFD, as MultiByteToWideChar does.
std::u16string Utf8ToUtf16(std::string_view text);

/// UTF-16 to UTF-8. An unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

/// Number of UTF-16 code units of a UTF-8 text.
size_t Utf16Length(std::string_view text);

/// Upper case of one UTF-16 code unit as the file system compares names (ASCII, Latin-1,
/// Latin Extended-A, Greek and Cyrillic; every other unit is its own upper case).
char16_t UpcaseUnit(char16_t unit);

/// The upper case of the default C locale: the letters a to z only, every other byte as
/// it is.
std::string UpperAscii(std::string text);

/// Compares two names as NTFS orders and matches them: code unit by code unit after
/// UpcaseUnit. Negative, zero or positive like strcmp.
int CompareNamesNoCase(std::string_view a, std::string_view b);

/// True when the two names are the same file name on Windows.
inline bool SameNameNoCase(std::string_view a, std::string_view b) {
    return CompareNamesNoCase(a, b) == 0;
}

/// Wildcard match of a file name against a pattern with * and ?, without regard to case;
/// "*.*" and "*" match every name, as FindFirstFileW treats them.
bool MatchesPattern(std::string_view name, std::string_view pattern);

/// printf-style formatting into a UTF-8 string (the installer's texts are formats with
/// %s, %d and %c placeholders; %s takes a UTF-8 `const char*`).
std::string StringPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

/// _wtoi: leading white space, an optional sign, then decimal digits; anything else ends
/// the number (0 when there are no digits). A value beyond the range of int saturates at
/// INT_MAX or INT_MIN, as Windows' runtime does, on every platform.
int LeadingInt(std::string_view text);

/// Decodes bytes of a Windows code page (949, 437, 1252, 65001 ...) to UTF-8, as
/// MultiByteToWideChar does. An unknown code page decodes as Latin-1 and returns false.
bool CodePageToUtf8(unsigned codePage, std::string_view bytes, std::string& out);

}  // namespace platform

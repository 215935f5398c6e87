// Facts about the machine and the moment: system folder, screen, special folders, time,
// waiting, debugger output, and the file version resources of executables.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

/// GetSystemDirectoryW (for example "C:\Windows\system32").
std::string SystemFolder();

/// GetSystemMetrics(SM_CXSCREEN) and (SM_CYSCREEN).
int ScreenWidth();
int ScreenHeight();

/// CSIDL values for SpecialFolderPath.
inline constexpr int kCsidlDesktop = 0x0000;
inline constexpr int kCsidlDesktopDirectory = 0x0010;
inline constexpr int kCsidlCommonDesktopDirectory = 0x0019;

/// SHGetSpecialFolderPathW without creation: false when the folder is not known.
bool SpecialFolderPath(int csidl, std::string& path);

/// A broken-down local time (SYSTEMTIME / struct tm fields in plain numbers).
struct LocalTime {
    int year = 0;   // e.g. 2026
    int month = 0;  // 1-12
    int day = 0;    // 1-31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int weekday = 0;  // 0 Sunday
    int milliseconds = 0;
};

/// GetLocalTime.
LocalTime CurrentLocalTime();

/// Seconds since 1970 UTC now (_time64).
int64_t CurrentUnixTime();

/// _localtime64_s: false when the time cannot be converted (negative, or past year 3000).
bool UnixToLocalTime(int64_t seconds, LocalTime& local);

/// The inverse for a local wall-clock time (mktime); -1 when it cannot be represented.
int64_t LocalTimeToUnix(const LocalTime& local);

/// Sleep.
void SleepMilliseconds(uint32_t milliseconds);

/// GetTickCount: milliseconds since an arbitrary start, wrapping at 2^32.
uint32_t TickCount();

/// OutputDebugStringW: one line for the debugger; a line break is added when missing.
void DebugOutput(const std::string& text);

/// The machine's ANSI and OEM code pages (949 on a Korean Windows).
unsigned AnsiCodePage();
unsigned OemCodePage();

/// VS_FIXEDFILEINFO, the fixed part of a version resource.
struct FixedFileInfo {
    uint32_t signature = 0;  // 0xFEEF04BD
    uint32_t structVersion = 0;
    uint32_t fileVersionMS = 0;  // major << 16 | minor
    uint32_t fileVersionLS = 0;  // build << 16 | revision
    uint32_t productVersionMS = 0;
    uint32_t productVersionLS = 0;
    uint32_t fileFlagsMask = 0;
    uint32_t fileFlags = 0;
    uint32_t fileOS = 0;
    uint32_t fileType = 0;
    uint32_t fileSubtype = 0;
    uint32_t fileDateMS = 0;
    uint32_t fileDateLS = 0;
};

/// GetFileVersionInfoSizeW: size of the version resource of an executable, 0 when it has
/// none or cannot be read (LastError 1813 or a file error).
uint32_t FileVersionInfoSize(const std::string& path);

/// GetFileVersionInfoW: copies the version resource (at most `size` bytes).
bool ReadFileVersionInfo(const std::string& path, uint32_t size, std::vector<uint8_t>& block);

/// VerQueryValueW with the root block "\": the fixed file information of a block read by
/// ReadFileVersionInfo; false when it has none.
bool QueryFixedFileInfo(const std::vector<uint8_t>& block, FixedFileInfo& info);

}  // namespace platform

// Facts about the machine and the moment, file version resources and code pages through
// the Win32 calls and the C runtime's 64-bit time functions.
#include <shlobj.h>
#include <time.h>

#include <cstring>
#include <vector>

#include "platform/detail/broken_down_time.h"
#include "platform/errors.h"
#include "platform/system.h"
#include "platform/text.h"
#include "platform/win32/wide.h"

namespace platform {

using win32::Narrow;
using win32::Wide;

std::string SystemFolder() {
    wchar_t buffer[MAX_PATH + 1] = {};
    const UINT length = GetSystemDirectoryW(buffer, MAX_PATH + 1);
    return length > 0 && length <= MAX_PATH ? Narrow(buffer, length) : std::string();
}

int ScreenWidth() {
    return GetSystemMetrics(SM_CXSCREEN);
}

int ScreenHeight() {
    return GetSystemMetrics(SM_CYSCREEN);
}

bool SpecialFolderPath(int csidl, std::string& path) {
    wchar_t buffer[MAX_PATH + 1] = {};
    if (!SHGetSpecialFolderPathW(nullptr, buffer, csidl, FALSE)) {
        return false;
    }
    path = Narrow(buffer);
    return true;
}

using detail::FromTm;

LocalTime CurrentLocalTime() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    LocalTime local;
    local.year = now.wYear;
    local.month = now.wMonth;
    local.day = now.wDay;
    local.hour = now.wHour;
    local.minute = now.wMinute;
    local.second = now.wSecond;
    local.weekday = now.wDayOfWeek;
    local.milliseconds = now.wMilliseconds;
    return local;
}

int64_t CurrentUnixTime() {
    return _time64(nullptr);
}

bool UnixToLocalTime(int64_t seconds, LocalTime& local) {
    struct tm t {};
    const __time64_t value = seconds;
    if (_localtime64_s(&t, &value) != 0) {
        return false;
    }
    FromTm(t, local);
    return true;
}

int64_t LocalTimeToUnix(const LocalTime& local) {
    struct tm t = detail::ToTm(local);
    return _mktime64(&t);
}

void SleepMilliseconds(uint32_t milliseconds) {
    Sleep(milliseconds);
}

uint32_t TickCount() {
    return GetTickCount();
}

void DebugOutput(const std::string& text) {
    std::string line = text;
    if (line.empty() || line.back() != '\n') {
        line += "\r\n";
    }
    OutputDebugStringW(Wide(line).c_str());
}

unsigned AnsiCodePage() {
    return GetACP();
}

unsigned OemCodePage() {
    return GetOEMCP();
}

uint32_t FileVersionInfoSize(const std::string& path) {
    DWORD ignored = 0;
    return GetFileVersionInfoSizeW(Wide(path).c_str(), &ignored);
}

bool ReadFileVersionInfo(const std::string& path, uint32_t size, std::vector<uint8_t>& block) {
    block.assign(size, 0);
    if (!GetFileVersionInfoW(Wide(path).c_str(), 0, size, block.data())) {
        block.clear();
        return false;
    }
    return true;
}

bool QueryFixedFileInfo(const std::vector<uint8_t>& block, FixedFileInfo& info) {
    // A block starts with its own length (VS_VERSIONINFO's wLength); one cut shorter than
    // that, as a too small GetFileVersionInfoW buffer leaves it, is not read at all.
    if (block.size() < 2 || block.size() < static_cast<size_t>(block[0] | (block[1] << 8))) {
        return false;
    }
    // VerQueryValueW may point into (and, for some blocks, convert within) the block: it
    // works on a copy so that the caller's block stays as read.
    std::vector<uint8_t> copy = block;
    void* fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(copy.data(), L"\\", &fixed, &length) || fixed == nullptr ||
        length < sizeof(VS_FIXEDFILEINFO)) {
        return false;
    }
    VS_FIXEDFILEINFO value{};
    std::memcpy(&value, fixed, sizeof value);
    info.signature = value.dwSignature;
    info.structVersion = value.dwStrucVersion;
    info.fileVersionMS = value.dwFileVersionMS;
    info.fileVersionLS = value.dwFileVersionLS;
    info.productVersionMS = value.dwProductVersionMS;
    info.productVersionLS = value.dwProductVersionLS;
    info.fileFlagsMask = value.dwFileFlagsMask;
    info.fileFlags = value.dwFileFlags;
    info.fileOS = value.dwFileOS;
    info.fileType = value.dwFileType;
    info.fileSubtype = value.dwFileSubtype;
    info.fileDateMS = value.dwFileDateMS;
    info.fileDateLS = value.dwFileDateLS;
    return true;
}

bool CodePageToUtf8(unsigned codePage, std::string_view bytes, std::string& out) {
    out.clear();
    if (bytes.empty()) {
        return IsValidCodePage(codePage) != 0;
    }
    if (!IsValidCodePage(codePage)) {
        // Latin-1: each byte is the code point of the same number.
        for (const char c : bytes) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte < 0x80) {
                out += static_cast<char>(byte);
            } else {
                out += static_cast<char>(0xC0 | (byte >> 6));
                out += static_cast<char>(0x80 | (byte & 0x3F));
            }
        }
        return false;
    }
    const int count =
        MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::vector<wchar_t> wide(static_cast<size_t>(count > 0 ? count : 0));
    if (count > 0) {
        MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(),
                            count);
    }
    out = Narrow(wide.data(), wide.size());
    return true;
}

}  // namespace platform

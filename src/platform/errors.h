// Error contract of the platform layer.
// Every platform call answers success or failure and leaves a thread-local last-error
// code in Win32 numbering; FormatSystemError turns such a code into the Korean text.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

/// Win32 error numbers the installer and the platform rely on.
inline constexpr uint32_t kErrorSuccess = 0;
inline constexpr uint32_t kErrorInvalidFunction = 1;
inline constexpr uint32_t kErrorFileNotFound = 2;
inline constexpr uint32_t kErrorPathNotFound = 3;
inline constexpr uint32_t kErrorTooManyOpenFiles = 4;
inline constexpr uint32_t kErrorAccessDenied = 5;
inline constexpr uint32_t kErrorInvalidHandle = 6;
inline constexpr uint32_t kErrorNotEnoughMemory = 8;
inline constexpr uint32_t kErrorInvalidDrive = 15;
inline constexpr uint32_t kErrorCurrentDirectory = 16;  // the current folder cannot be removed
inline constexpr uint32_t kErrorNoMoreFiles = 18;
inline constexpr uint32_t kErrorNotReady = 21;
inline constexpr uint32_t kErrorSharingViolation = 32;
inline constexpr uint32_t kErrorBadNetPath = 53;
inline constexpr uint32_t kErrorFileExists = 80;
inline constexpr uint32_t kErrorInvalidParameter = 87;
inline constexpr uint32_t kErrorDiskFull = 112;
inline constexpr uint32_t kErrorInsufficientBuffer = 122;
inline constexpr uint32_t kErrorInvalidName = 123;
inline constexpr uint32_t kErrorDirNotEmpty = 145;
inline constexpr uint32_t kErrorAlreadyExists = 183;
inline constexpr uint32_t kErrorBadExeFormat = 193;
inline constexpr uint32_t kErrorFilenameTooLong = 206;
inline constexpr uint32_t kErrorMoreData = 234;
inline constexpr uint32_t kErrorDirectory = 267;
inline constexpr uint32_t kErrorResourceTypeNotFound = 1813;
inline constexpr uint32_t kErrorResourceDataNotFound = 1812;
inline constexpr uint32_t kErrorCannotFindWndClass = 1407;  // also "no such window"

/// The calling thread's last error, as GetLastError answers it.
uint32_t LastError();

/// Sets the calling thread's last error (SetLastError).
void SetLastErrorCode(uint32_t code);

/// The text a Korean Windows gives for a system error number, with the trailing line
/// break Windows' message table carries ("지정된 파일을 찾을 수 없습니다.\r\n" for 2).
/// An unknown number gives the empty string, as FormatMessageW's failure would.
std::string FormatSystemError(uint32_t code);

}  // namespace platform

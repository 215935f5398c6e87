// The zip reader's only error type: the path concerned, a code and the system's last error.
// The code is one of the reader's own (200 and up), a zlib or bzip2 result mapped into
// 500-507 and 600-608, or the C runtime's errno value of a failed file operation.
#pragma once

#include <cstdint>
#include <string>

/// Error of the zip reader, thrown by value and caught by reference.
class CZipError {
public:
    /// Codes of the reader. Below 200 a code is a C runtime errno value (crt_errno.h).
    enum : int {
        // An unexpected library result, an AES key strength outside 1-3, a seek outside the
        // parts of a binary split archive.
        kGeneric = 200,
        // A damaged or inconsistent archive: a failed central or local header, a short read,
        // failed consistency checks, two entries at one offset, hostile counts, sizes and
        // offsets, a mismatching data descriptor.
        kBadArchive = 201,
        // The CRC-32 of the extracted data differs from the central header.
        kBadCrc = 202,
        // A spanned archive (a split archive on a removable drive) and no disk-change callback.
        kNoCallback = 203,
        // Creating a segmented archive without the volume-size callback (writing only).
        kNoVolumeSize = 204,
        // Extraction stopped by a callback while data remained.
        kAbortedAction = 206,
        // Extraction stopped by a callback at the end of the data.
        kAbortedSafely = 207,
        // Spanned creation on a drive that is not removable (writing only).
        kNonRemovable = 208,
        // A password is missing or wrong.
        kBadPassword = 213,
        // An existing file or folder at an output path cannot be deleted.
        kNotRemoved = 217,
        // No attribute conversion for the entry's system (1-20 other than 3, 6, 7, 11, 15, 20).
        kPlatformNotSupported = 219,
        // The end-of-central-directory record is not in the last 65557 bytes of the file.
        kEndRecordNotFound = 220,
        // The Zip64 end record does not start with its signature.
        kBadZip64Record = 221,
        // The AES authentication code of an entry differs.
        kBadAuthentication = 223,
        // An entry whose destination lies outside the destination folder (a name with ".."
        // components, or with components Windows would read as such); refused before
        // anything is created.
        kOutsideFolder = 224,
        // zlib results: 1 Z_STREAM_END, 2 Z_NEED_DICT, -1 Z_ERRNO, -2 Z_STREAM_ERROR,
        // -3 Z_DATA_ERROR, -4 Z_MEM_ERROR, -5 Z_BUF_ERROR, -6 Z_VERSION_ERROR, in this order.
        kZlibFirst = 500,
        kZlibStreamEnd = 500,
        kZlibNeedDict = 501,
        kZlibErrno = 502,
        kZlibStreamError = 503,
        kZlibDataError = 504,
        kZlibMemError = 505,
        kZlibBufError = 506,
        kZlibVersionError = 507,
        // bzip2 results -1 to -9: BZ_SEQUENCE_ERROR, BZ_PARAM_ERROR, BZ_MEM_ERROR,
        // BZ_DATA_ERROR, BZ_DATA_ERROR_MAGIC, BZ_IO_ERROR, BZ_UNEXPECTED_EOF,
        // BZ_OUTBUFF_FULL, BZ_CONFIG_ERROR, in this order.
        kBzip2First = 600,
        kBzip2SequenceError = 600,
        kBzip2ParamError = 601,
        kBzip2MemError = 602,
        kBzip2DataError = 603,
        kBzip2DataErrorMagic = 604,
        kBzip2IoError = 605,
        kBzip2UnexpectedEof = 606,
        kBzip2OutbuffFull = 607,
        kBzip2ConfigError = 608,
    };

    /// An error with a code and the path concerned (empty where none applies); captures the
    /// platform's last error code at construction.
    explicit CZipError(int code, std::string path = {});

    /// The reader's code, a mapped library result, or an errno value (below 200).
    int Code() const { return m_code; }
    /// The path of the file concerned: the archive, a volume or the file being written.
    const std::string& Path() const { return m_path; }
    /// The operating system's last error code when the error was made.
    uint32_t SystemError() const { return m_systemError; }
    /// True when a failed system call made this error (an errno value of a file operation,
    /// or an existing file that could not be deleted, 217) and SystemError() tells why;
    /// false for a damaged archive, a CRC error, an unsafe entry and the like, where a last
    /// error left behind is stale.
    bool HasSystemCause() const {
        return (m_code < kGeneric || m_code == kNotRemoved) && m_systemError != 0;
    }
    /// The system's own text for SystemError() when HasSystemCause(); empty otherwise, and
    /// for a code the system has no text for.
    std::string SystemCauseText() const;
    /// A plain English description of the code, for tools and logs (the installer shows
    /// its own texts).
    std::string Describe() const { return Describe(m_code); }
    /// The description of any code.
    static std::string Describe(int code);

    /// Throws CZipError(code, path).
    [[noreturn]] static void Throw(int code, const std::string& path = {});

private:
    std::string m_path;          // file concerned, or empty
    int m_code = 0;              // see the enumeration
    uint32_t m_systemError = 0;  // LastError() when made
};

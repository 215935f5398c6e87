// The zip reader's error type and the descriptions of its codes.
#include "zip/zip_error.h"

#include "platform/crt_errno.h"
#include "platform/errors.h"

CZipError::CZipError(int code, std::string path)
    : m_path(std::move(path)), m_code(code), m_systemError(platform::LastError()) {}

void CZipError::Throw(int code, const std::string& path) {
    throw CZipError(code, path);
}

std::string CZipError::SystemCauseText() const {
    return HasSystemCause() ? platform::FormatSystemError(m_systemError) : std::string();
}

std::string CZipError::Describe(int code) {
    switch (code) {
        case kGeneric:
            return "generic error";
        case kBadArchive:
            return "damaged or inconsistent archive";
        case kBadCrc:
            return "CRC-32 of the extracted data differs";
        case kNoCallback:
            return "archive spanned over removable disks cannot be read";
        case kNoVolumeSize:
            return "volume size of a segmented archive missing";
        case kAbortedAction:
            return "extraction stopped by a callback";
        case kAbortedSafely:
            return "extraction stopped by a callback at the end";
        case kNonRemovable:
            return "spanned archive needs a removable drive";
        case kBadPassword:
            return "password missing or wrong";
        case kNotRemoved:
            return "existing file cannot be deleted";
        case kPlatformNotSupported:
            return "attributes of the entry's system cannot be converted";
        case kEndRecordNotFound:
            return "end of central directory not found";
        case kBadZip64Record:
            return "Zip64 end record signature wrong";
        case kBadAuthentication:
            return "AES authentication code wrong";
        case kOutsideFolder:
            return "entry would be written outside the destination folder";
        case kZlibStreamEnd:
            return "zlib: unexpected end of stream";
        case kZlibNeedDict:
            return "zlib: dictionary needed";
        case kZlibErrno:
            return "zlib: file error";
        case kZlibStreamError:
            return "zlib: stream error";
        case kZlibDataError:
            return "zlib: corrupt deflate data";
        case kZlibMemError:
            return "zlib: out of memory";
        case kZlibBufError:
            return "zlib: deflate data ends too early";
        case kZlibVersionError:
            return "zlib: version mismatch";
        case kBzip2SequenceError:
            return "bzip2: sequence error";
        case kBzip2ParamError:
            return "bzip2: parameter error";
        case kBzip2MemError:
            return "bzip2: out of memory";
        case kBzip2DataError:
            return "bzip2: corrupt data";
        case kBzip2DataErrorMagic:
            return "bzip2: not bzip2 data";
        case kBzip2IoError:
            return "bzip2: input or output error";
        case kBzip2UnexpectedEof:
            return "bzip2: data ends too early";
        case kBzip2OutbuffFull:
            return "bzip2: output buffer full";
        case kBzip2ConfigError:
            return "bzip2: library configuration error";
        default:
            break;
    }
    if (code >= 0 && code < kGeneric) {
        const char* text = platform::CrtErrorText(code);
        return text != nullptr && *text != '\0' ? text : "file error " + std::to_string(code);
    }
    return "error " + std::to_string(code);
}

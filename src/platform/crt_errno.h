// The C runtime's errno numbers as the Windows C runtime numbers them.
// The zip reader reports file failures with these values; the platform maps the host's
// own errno onto them, so a code means the same on every build.
#pragma once

namespace platform {

inline constexpr int kErrnoNone = 0;
inline constexpr int kErrnoPerm = 1;          // EPERM
inline constexpr int kErrnoNoEnt = 2;         // ENOENT: no such file or directory
inline constexpr int kErrnoIo = 5;            // EIO
inline constexpr int kErrnoBadF = 9;          // EBADF
inline constexpr int kErrnoNoMem = 12;        // ENOMEM
inline constexpr int kErrnoAccess = 13;       // EACCES: permission denied, read-only, sharing
inline constexpr int kErrnoExist = 17;        // EEXIST
inline constexpr int kErrnoNotDir = 20;       // ENOTDIR
inline constexpr int kErrnoIsDir = 21;        // EISDIR
inline constexpr int kErrnoInval = 22;        // EINVAL
inline constexpr int kErrnoMFile = 24;        // EMFILE
inline constexpr int kErrnoFBig = 27;         // EFBIG
inline constexpr int kErrnoNoSpc = 28;        // ENOSPC
inline constexpr int kErrnoSPipe = 29;        // ESPIPE
inline constexpr int kErrnoNameTooLong = 38;  // ENAMETOOLONG in the Windows runtime

/// The C runtime's text of an errno number ("No such file or directory" for 2).
const char* CrtErrorText(int errnoValue);

}  // namespace platform

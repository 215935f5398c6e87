// Folder-tree operations on Windows paths: copying, emptying, removing and creating trees,
// through the platform's file services only, and the message pump that keeps the windows
// alive during a long walk. None of them shows a message or throws.
#pragma once

#include <string>

/// Copies the contents of folder `source` into folder `target` (note: target first). The
/// target is created one level deep when missing; if that fails nothing is copied. A
/// subfolder that cannot be created and a file that cannot be copied are skipped; existing
/// files are overwritten. Every name but "." and ".." is copied, dot-names included.
void CopyTree(const std::string& target, const std::string& source);

/// Copies the contents of `source` into `target` (source first), creating `target` and its
/// missing parents first. Names that begin with "." are left out. Returns true when every
/// entry was copied (an empty source included); false when the target cannot be created,
/// the source is missing or is not a folder that can be listed, or at the first entry that
/// fails (the walk stops there; what was copied stays).
bool CopyFolder(const std::string& source, const std::string& target);

/// Deletes every file and subfolder inside `folder` except names that begin with "."; the
/// folder itself stays. Returns false when `folder` is not an existing folder, or at the
/// first file or subfolder that cannot be deleted (a read-only file, for one), where the
/// walk stops; what was deleted stays deleted.
bool EmptyFolder(const std::string& folder);

/// Deletes `path` and everything in it, read-only, hidden and system files included.
/// Returns 1 when nothing is left at `path` (also when there was nothing to begin with),
/// 0 at the first file that cannot be deleted or when a folder cannot be removed (the
/// debugger then gets the line "폴더 삭제 실패 - <error>"). A relative `path` resolves
/// against the working folder; the walk changes the working folder and restores it before
/// every return, so nothing else may rely on it meanwhile.
int RemoveTree(const std::string& path);

/// Creates every missing folder along `path` (absolute "C:\..." or relative; a trailing
/// backslash is ignored). Returns false when a missing folder cannot be created; existing
/// folders are left as they are.
bool MakePath(const std::string& path);

/// Removes trailing white space (ASCII), then one trailing backslash, in place.
void StripTrailingBackslash(std::string& path);

/// The function that handles the user-interface events waiting now, so that windows keep
/// painting during a long walk. The layer above sets it at start-up; until then (and when
/// set to null) the walks dispatch nothing.
using MessagePump = void (*)();
void SetMessagePump(MessagePump pump);

/// Calls the message pump set last, if any.
void PumpMessages();

// Folder-tree operations on Windows paths: copying, emptying, removing and creating trees,
// through the platform's file services only, and the message pump that keeps the windows
// alive during a long walk. None of them shows a message or throws.
#pragma once

#include <functional>
#include <string>
#include <string_view>

/// What a tree copy does with an entry that cannot be copied.
enum class CopyFailure {
    /// The walk stops there and the copy reports failure: a backup of data about to be
    /// deleted must be complete.
    kStop,
    /// The entry is left out and the walk goes on: a courtesy copy takes what it can.
    kSkip,
};

/// Copies every name below folder `source` but "." and ".." (dot-names included) into
/// folder `target`, subfolders too; existing files are overwritten and attributes come with
/// the copy. Pending events are pumped before each listed entry; `fileCopied`, when given,
/// is called after each file copied.
///
/// kStop: `target` and its missing parents are made first, and an earlier copy of a file is
/// unprotected before it is overwritten (it is the caller's own copy). Returns true only
/// when nothing was left out: false when the target cannot be made, when a folder cannot be
/// listed (one without a single entry, such as an empty drive root, passes) or its listing
/// breaks off early, or at the first file or folder that fails, where the walk stops; what
/// was copied stays.
///
/// kSkip: `target` is made one level deep when missing, and if that fails nothing is
/// copied; a subfolder that cannot be made and a file that cannot be copied (a read-only
/// earlier copy among them) are left out. Returns true when nothing was left out.
bool CopyTree(const std::string& source, const std::string& target, CopyFailure onFailure,
              const std::function<void()>& fileCopied = {});

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

/// `folder` + "\" + `name`, with no doubled backslash when `folder` already ends in one.
std::string JoinPath(const std::string& folder, const std::string& name);

/// True for the two names every listing carries besides the folder's own entries.
bool IsDotOrDotDot(std::string_view name);

/// Removes trailing white space (ASCII), then one trailing backslash, in place.
void StripTrailingBackslash(std::string& path);

/// The function that handles the user-interface events waiting now, so that windows keep
/// painting during a long walk. The layer above sets it at start-up; until then (and when
/// set to null) the walks dispatch nothing.
using MessagePump = void (*)();
void SetMessagePump(MessagePump pump);

/// Calls the message pump set last, if any.
void PumpMessages();

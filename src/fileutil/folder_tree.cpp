// Folder-tree operations over the platform's file services. Paths are joined with a single
// backslash and never normalised further: a source or target that already ends in a
// backslash gives a doubled one, which Windows accepts.
#include "fileutil/folder_tree.h"

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/system.h"
#include "platform/text.h"

#include <string_view>

namespace {

// The working folder is saved in a buffer of this many UTF-16 units, terminator included.
constexpr size_t kSavedFolderUnits = 260;

// RemoveTree waits this long before removing each emptied folder, so that the file
// system has released the handles of the files just deleted.
constexpr uint32_t kRemoveFolderDelayMs = 10;

MessagePump g_messagePump = nullptr;  // set by the user interface above, or none

bool IsWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

void TrimTrailingWhiteSpace(std::string& text) {
    while (!text.empty() && IsWhiteSpace(text.back())) {
        text.pop_back();
    }
}

bool EndsWithBackslash(std::string_view text) {
    return !text.empty() && text.back() == '\\';
}

bool IsFolder(uint32_t attributes) {
    return attributes != platform::kInvalidAttributes &&
           (attributes & platform::kAttrDirectory) != 0;
}

// The "*.*" pattern of EmptyFolder: the folder without trailing white
// space and with exactly the one backslash it needs.
std::string ListPattern(const std::string& folder) {
    std::string pattern = folder;
    TrimTrailingWhiteSpace(pattern);
    if (!EndsWithBackslash(pattern)) {
        pattern += '\\';
    }
    return pattern + "*.*";
}

// Starts a listing for EmptyFolder. A folder without a single entry (an
// empty drive root) is fine; any other refusal means the folder cannot be walked, which
// must not pass for success.
bool StartListing(platform::FileFinder& finder, const std::string& folder,
                  platform::FindData& entry, bool& empty) {
    empty = false;
    if (finder.First(ListPattern(folder), entry)) {
        return true;
    }
    empty = platform::LastError() == platform::kErrorFileNotFound;
    return false;
}

// The walk of EmptyFolder: each entry whose name does not start with a dot
// is handed to `visit`, pending window messages dispatched before each, until one fails.
// An empty folder (no entry at all) is success; one that cannot be listed is failure.
template <typename Visit>
bool ForEachUndottedEntry(const std::string& folder, Visit visit) {
    platform::FileFinder finder;
    platform::FindData entry;
    bool empty = false;
    if (!StartListing(finder, folder, entry, empty)) {
        return empty;
    }
    bool result = true;
    do {
        PumpMessages();
        if (!entry.name.empty() && entry.name.front() == '.') {
            continue;
        }
        result = visit(entry);
    } while (result && finder.Next(entry));
    return result;
}

// What RemoveTree answers when it cannot even begin: nothing to do is success, but a tree
// that is still there must not be reported as removed.
int ResultWithoutWalking(const std::string& path) {
    return platform::FileAttributes(path) == platform::kInvalidAttributes ? 1 : 0;
}

}  // namespace

bool CopyTree(const std::string& source, const std::string& target, CopyFailure onFailure,
              const std::function<void()>& fileCopied) {
    const bool stop = onFailure == CopyFailure::kStop;
    if (stop) {
        if (!MakePath(target) || !IsFolder(platform::FileAttributes(target))) {
            return false;
        }
    } else if (!IsFolder(platform::FileAttributes(target)) && !platform::MakeFolder(target)) {
        return false;
    }
    platform::FileFinder finder;
    platform::FindData entry;
    if (!finder.First(JoinPath(source, "*.*"), entry)) {
        // Only a folder without a single entry (a drive root) answers "no match"; a folder
        // that cannot be listed must not pass for one that was copied.
        return platform::LastError() == platform::kErrorFileNotFound;
    }
    bool complete = true;
    do {
        PumpMessages();
        if (IsDotOrDotDot(entry.name)) {
            continue;
        }
        const std::string sourceItem = JoinPath(source, entry.name);
        const std::string targetItem = JoinPath(target, entry.name);
        bool copied = false;
        if ((entry.attributes & platform::kAttrDirectory) != 0) {
            copied = CopyTree(sourceItem, targetItem, onFailure, fileCopied);
        } else {
            if (stop && platform::FileExists(targetItem)) {
                platform::ChangeFileAttributes(targetItem, platform::kAttrNormal);
            }
            copied = platform::CopyOneFile(sourceItem, targetItem, false);
            if (copied && fileCopied) {
                fileCopied();
            }
        }
        if (!copied) {
            if (stop) {
                return false;
            }
            complete = false;
        }
    } while (finder.Next(entry));
    // A listing that breaks off early would leave entries out unnoticed.
    return complete && platform::LastError() == platform::kErrorNoMoreFiles;
}

bool EmptyFolder(const std::string& folder) {
    if (!IsFolder(platform::FileAttributes(folder))) {
        return false;
    }
    return ForEachUndottedEntry(folder, [&](const platform::FindData& entry) {
        const std::string item = folder + '\\' + entry.name;
        if ((entry.attributes & platform::kAttrDirectory) != 0) {
            // A subfolder that keeps some of its contents is a failed entry like any
            // other: the folder is then not empty and must not be reported so.
            return EmptyFolder(item) && platform::RemoveFolder(item);
        }
        // Attributes are left alone: a read-only file is meant to stop the walk.
        return platform::RemoveFile(item);
    });
}

int RemoveTree(const std::string& path) {
    std::string saved;
    if (!platform::CurrentFolder(saved) || platform::Utf16Length(saved) >= kSavedFolderUnits) {
        return ResultWithoutWalking(path);
    }
    if (!platform::ChangeCurrentFolder(path)) {
        return ResultWithoutWalking(path);
    }
    bool fileFailed = false;
    {
        platform::FileFinder finder;
        platform::FindData entry;
        // Entries are named relative to the working folder, which is `path` now; a
        // nested call is handed the bare name for the same reason.
        bool more = finder.First("*.*", entry);
        for (; more; more = finder.Next(entry)) {
            if (IsDotOrDotDot(entry.name)) {
                continue;
            }
            if ((entry.attributes & platform::kAttrDirectory) != 0) {
                if (RemoveTree(entry.name) == 0) {
                    finder.Close();
                    platform::ChangeCurrentFolder(saved);
                    return 0;
                }
            } else if (!platform::ChangeFileAttributes(entry.name, platform::kAttrNormal) ||
                       !platform::RemoveFile(entry.name)) {
                fileFailed = true;
                break;
            }
        }
    }
    platform::ChangeCurrentFolder(saved);
    if (fileFailed) {
        return 0;
    }
    // `path` means again what it meant when the call began.
    if (!platform::ChangeFileAttributes(path, platform::kAttrNormal)) {
        return 0;
    }
    platform::SleepMilliseconds(kRemoveFolderDelayMs);
    if (platform::RemoveFolder(path)) {
        return 1;
    }
    platform::DebugOutput("폴더 삭제 실패 - " + std::to_string(platform::LastError()));
    return 0;
}

bool MakePath(const std::string& path) {
    std::string copy = path;
    StripTrailingBackslash(copy);

    size_t prefixLength = 0;
    if (const size_t drive = copy.find(":\\"); drive != std::string::npos) {
        prefixLength = drive + 2;
    } else if (const size_t pair = copy.find("\\\\"); pair != std::string::npos) {
        prefixLength = pair + 2;
    }
    std::string built = copy.substr(0, prefixLength);
    std::string rest = copy.substr(prefixLength);

    for (;;) {
        // From the second character: each later component starts with its backslash.
        const size_t next = rest.find('\\', 1);
        const bool last = next == std::string::npos;
        if (last) {
            built += rest;
        } else {
            built.append(rest, 0, next);
            rest.erase(0, next);
        }
        if (platform::FileAttributes(built) == platform::kInvalidAttributes &&
            !platform::MakeFolder(built)) {
            return false;
        }
        if (last) {
            return true;
        }
    }
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (EndsWithBackslash(folder)) {
        return folder + name;
    }
    return folder + '\\' + name;
}

bool IsDotOrDotDot(std::string_view name) {
    return name == "." || name == "..";
}

void StripTrailingBackslash(std::string& path) {
    TrimTrailingWhiteSpace(path);
    if (EndsWithBackslash(path)) {
        path.pop_back();
    }
}

void SetMessagePump(MessagePump pump) {
    g_messagePump = pump;
}

void PumpMessages() {
    if (g_messagePump != nullptr) {
        g_messagePump();
    }
}

// The shell's services: shortcut (shell link) files and the change notification that
// makes desktops redraw.
#pragma once

#include <string>

namespace platform {

/// The properties of a shortcut, as IShellLinkW takes them.
struct ShellLink {
    std::string target;         // the file the shortcut starts (SetPath)
    std::string description;    // SetDescription
    std::string arguments;      // SetArguments
    std::string iconPath;       // SetIconLocation: file of the icon
    int iconIndex = 0;          // SetIconLocation: index of the icon in that file
    std::string workingFolder;  // SetWorkingDirectory; empty: not set
};

/// HRESULT values answered by the shell operations.
inline constexpr long kShellOk = 0;                                 // S_OK
inline constexpr long kShellFail = static_cast<long>(0x80004005L);  // E_FAIL
inline constexpr long kShellAccessDenied = static_cast<long>(0x80070005L);

/// IShellLinkW + IPersistFile::Save: writes a shell link file ([MS-SHLLINK]) at
/// `linkPath`, replacing an existing one. Answers S_OK, or an HRESULT failure code (a
/// Win32 error wrapped as 0x8007xxxx when the file cannot be written).
long SaveShellLink(const ShellLink& link, const std::string& linkPath);

/// SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr).
void NotifyAssociationsChanged();

}  // namespace platform

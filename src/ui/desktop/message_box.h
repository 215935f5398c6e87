// Message boxes of the desktop view: small modal windows of our own that behave like the
// Windows ones (Korean buttons, Enter presses the default, Escape as Windows answers it).
#pragma once

#include <string>

namespace ui::desktop {

/// Shows a modal box and waits for the answer: kIdOk for an OK box (also on Escape or when
/// the window is closed), kIdYes or kIdNo for a yes/no box (which cannot be escaped or
/// closed). The flags choose the buttons (kMbOk, kMbYesNo) and the icon (kMbIconInformation,
/// kMbIconWarning, none otherwise). The display must be open.
int ShowDesktopMessageBox(const std::string& caption, const std::string& text, unsigned flags);

}  // namespace ui::desktop

// Message boxes of the desktop view: small modal windows of our own that behave like the
// Windows ones (Korean buttons, Enter presses the default, Escape as Windows answers it).
#pragma once

#include <string>

class Fl_Window;

namespace ui::desktop {

/// Places `window` (not shown yet) centred on the window that a box would belong to, as
/// Windows owns a box by the active window: the top-level window holding the keyboard
/// focus, else the first one shown; on the screen's centre when none is shown; never off
/// the screen. Returns that owner, or null.
Fl_Window* CentreOnOwner(Fl_Window& window);

/// Shows a modal box and waits for the answer: kIdOk for an OK box (also on Escape or when
/// the window is closed), kIdYes or kIdNo for a yes/no box (which cannot be escaped or
/// closed). The flags choose the buttons (kMbOk, kMbYesNo) and the icon (kMbIconInformation,
/// kMbIconWarning, none otherwise). The display must be open.
int ShowDesktopMessageBox(const std::string& caption, const std::string& text, unsigned flags);

}  // namespace ui::desktop

// The skinned confirmation dialog of the desktop: a borderless window whose face is the
// background picture, with the two fields and three image buttons at their pixel positions,
// the ordinal painted into the title line, curved corners, and dragging by the face.
#pragma once

#include <memory>
#include <string>

#include "ui/confirm_look.h"
#include "ui/confirm_view.h"

namespace ui::desktop {

/// The virtual-key code of the key event FLTK is delivering now (letters as capitals,
/// keypad digits 0x60-0x69, text from the input method 229).
unsigned VirtualKeyOfCurrentEvent();

/// Makes the desktop's confirmation view; null when a picture is missing.
std::unique_ptr<IConfirmView> MakeDesktopConfirmView(const ConfirmLook& look);

}  // namespace ui::desktop

// The skinned confirmation dialog on Windows: dialog template 102 made into a borderless
// window whose face is the background picture, with the two edit fields and the three
// image buttons at their pixel positions, curved corners, the ordinal painted into the title
// line, dragging by the face, and the dialog's key filter ahead of every key-down.
#pragma once

#include <memory>

#include "ui/confirm_view.h"

namespace ui::win32 {

/// Whether the wait cursor is up (CWaitCursor): the dialog then shows it wherever the
/// pointer moves over it, also while the installation dispatches the pointer's messages.
void SetWaitCursorShown(bool shown);

/// Makes the Windows confirmation view; null when the executable lacks the template or a
/// picture.
std::unique_ptr<IConfirmView> MakeWin32ConfirmView(const ConfirmLook& look);

}  // namespace ui::win32

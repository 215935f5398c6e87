// The skinned confirmation dialog of the desktop: a borderless window whose face is the
// background picture, with the two fields and three image buttons at their pixel positions,
// the ordinal painted into the title line, curved corners, and dragging by the face.
#pragma once

#include <memory>
#include <string>

#include "ui/confirm_view.h"

namespace ui::desktop {

/// Fixed pixel layout of the dialog (client coordinates).
namespace layout {
inline constexpr int kFieldLeft = 281;
inline constexpr int kExamNumberTop = 125;
inline constexpr int kNameTop = 165;
inline constexpr int kFieldWidth = 153;
inline constexpr int kFieldHeight = 25;
inline constexpr int kInstallLeft = 124;
inline constexpr int kCancelLeft = 281;
inline constexpr int kButtonsTop = 205;
inline constexpr int kExitLeft = 522;
inline constexpr int kExitTop = 2;
inline constexpr int kOrdinalLeft = 24;
inline constexpr int kSpecialOrdinalLeft = 23;
inline constexpr int kOrdinalTop = 15;
inline constexpr int kCornerEllipse = 9;
inline constexpr int kFieldFontSize = 14;
inline constexpr int kOrdinalFontSize = 12;
}  // namespace layout

/// The text painted into the title line: "%3d" below 1000, "특별" from 1000 on.
std::string OrdinalText(int ordinal);

/// The virtual-key code of the key event FLTK is delivering now (letters as capitals,
/// keypad digits 0x60-0x69, text from the input method 229).
unsigned VirtualKeyOfCurrentEvent();

/// Makes the desktop's confirmation view; null when a picture is missing.
std::unique_ptr<IConfirmView> MakeDesktopConfirmView(const ConfirmLook& look);

}  // namespace ui::desktop

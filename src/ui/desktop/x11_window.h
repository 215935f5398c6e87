// What the desktop view needs of X11 beyond FLTK: opening the display without FLTK's fatal
// exit, the Hangul-capable fonts, window shapes with curved corners, and the task-bar entry
// of a borderless window.
#pragma once

#include <string>

class Fl_Window;

namespace ui::desktop {

/// Opens the display named by DISPLAY for FLTK and sets the fonts; false when there is no
/// display (FLTK itself would end the process).
bool OpenDisplay();

/// Gives a shown window its own rectangle with the four corners rounded alike by circles of
/// `ellipse` pixels across, as Windows shows CreateRoundRectRgn(0, 0, w + 1, h + 1, e, e).
void CutRoundCorners(Fl_Window& window, int ellipse);

/// Number of pixels the shape of CutRoundCorners leaves out at the start of row `row` of a
/// window `height` rows high (the same at both ends of the row, and for the top and the
/// bottom rows alike).
int RoundCornerInset(int row, int height, int ellipse);

/// Sets a shown window's title so that every window manager reads it: WM_NAME in an
/// encoding it may hold, _NET_WM_NAME in UTF-8.
void SetWindowName(Fl_Window& window, const std::string& name);

/// Gives a shown window the keyboard focus (a bare X server has no window manager to do so).
void TakeKeyboardFocus(Fl_Window& window);

/// Takes the skip-task-bar mark off a shown borderless window, so that its title shows in
/// the task bar as an app-window's does.
void KeepTaskBarEntry(Fl_Window& window);

}  // namespace ui::desktop

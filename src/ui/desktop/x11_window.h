// What the desktop view needs of X11 beyond FLTK: opening the display without FLTK's fatal
// exit, the Hangul-capable fonts, window shapes with curved corners, and the task-bar entry
// of a borderless window.
#pragma once

class Fl_Window;

namespace ui::desktop {

/// Opens the display named by DISPLAY for FLTK and sets the fonts; false when there is no
/// display (FLTK itself would end the process).
bool OpenDisplay();

/// Gives a shown window the shape of the rectangle (0, 0, w + 1, h + 1) with its corners
/// rounded by ellipses of `ellipse` × `ellipse` pixels, as CreateRoundRectRgn does.
void CutRoundCorners(Fl_Window& window, int ellipse);

/// Number of pixels the shape of CutRoundCorners leaves out at the start of row `row` of a
/// window `height` rows high (the same at both ends of the row).
int RoundCornerInset(int row, int height, int ellipse);

/// Takes the skip-task-bar mark off a shown borderless window, so that its title shows in
/// the task bar as an app-window's does.
void KeepTaskBarEntry(Fl_Window& window);

}  // namespace ui::desktop

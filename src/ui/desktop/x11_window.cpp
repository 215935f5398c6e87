// X11 details of the desktop view.
#include "ui/desktop/x11_window.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/x.H>
#include <X11/extensions/shape.h>

#include <clocale>
#include <cmath>
#include <vector>

namespace ui::desktop {

bool OpenDisplay() {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return false;
    }
    // XIM needs the locale's character set and the input-method modifiers (XMODIFIERS)
    // before FLTK opens the input method; without a display the locale stays untouched.
    std::setlocale(LC_CTYPE, "");
    XSetLocaleModifiers("");
    fl_open_display(display);
    // Xft draws each string with one face and does not fall back per glyph: the faces must
    // hold Hangul, or every Korean word shows as boxes.
    Fl::set_font(FL_HELVETICA, " NanumGothic");
    Fl::set_font(FL_HELVETICA_BOLD, "BNanumGothic");
    return true;
}

int RoundCornerInset(int row, int height, int ellipse) {
    // The ellipse sits in the corner cell of ellipse × ellipse pixels; a pixel belongs to
    // the shape when its centre lies inside. The region is one pixel larger than the window
    // (right and bottom edges exclusive), so the lower corners are measured from height + 1.
    const int regionHeight = height + 1;
    const double radius = ellipse / 2.0;
    double centreY = row + 0.5;
    if (centreY > radius && centreY < regionHeight - radius) {
        return 0;
    }
    const double dy = centreY <= radius ? radius - centreY : centreY - (regionHeight - radius);
    const double t = 1.0 - (dy * dy) / (radius * radius);
    if (t <= 0) {
        return ellipse;  // outside the ellipse altogether
    }
    const double dx = radius * std::sqrt(t);
    // first pixel whose centre is within dx of the ellipse's centre
    return static_cast<int>(std::ceil(radius - dx - 0.5));
}

void CutRoundCorners(Fl_Window& window, int ellipse) {
    Window xid = fl_xid(&window);
    if (xid == 0) {
        return;
    }
    const int w = window.w();
    const int h = window.h();
    std::vector<XRectangle> rows;
    for (int y = 0; y < h; ++y) {
        // The region spans w + 1 columns; the part beyond the window does not show.
        const int inset = RoundCornerInset(y, h, ellipse);
        const int left = inset;
        const int right = std::min(w, w + 1 - inset);
        if (right > left) {
            rows.push_back(XRectangle{static_cast<short>(left), static_cast<short>(y),
                                      static_cast<unsigned short>(right - left), 1});
        }
    }
    XShapeCombineRectangles(fl_display, xid, ShapeBounding, 0, 0, rows.data(),
                            static_cast<int>(rows.size()), ShapeSet, Unsorted);
    XFlush(fl_display);
}

void KeepTaskBarEntry(Fl_Window& window) {
    Window xid = fl_xid(&window);
    if (xid == 0) {
        return;
    }
    Atom state = XInternAtom(fl_display, "_NET_WM_STATE", False);
    Atom skip = XInternAtom(fl_display, "_NET_WM_STATE_SKIP_TASKBAR", False);
    // Without a window manager the property is ours to change; with one, it must be asked.
    XDeleteProperty(fl_display, xid, state);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = xid;
    event.xclient.message_type = state;
    event.xclient.format = 32;
    event.xclient.data.l[0] = 0;  // _NET_WM_STATE_REMOVE
    event.xclient.data.l[1] = static_cast<long>(skip);
    event.xclient.data.l[3] = 1;  // from an application
    XSendEvent(fl_display, RootWindow(fl_display, fl_screen), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(fl_display);
}

}  // namespace ui::desktop

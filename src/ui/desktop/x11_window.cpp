// X11 details of the desktop view.
#include "ui/desktop/x11_window.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/x.H>
#include <X11/extensions/shape.h>

#include <algorithm>
#include <clocale>
#include <string>
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
    // Windows' round-rect region (as CreateRoundRectRgn(0, 0, w + 1, h + 1, e, e) shows a
    // w × h window) has the same curve at all four corners: a midpoint circle of radius e / 2
    // in the corner cell, the rows counted from the nearer edge. For e = 9 the three outer
    // rows lose 3, 1 and 1 pixels.
    const int radius = ellipse / 2;
    const int fromEdge = std::min(row, height - 1 - row);
    if (radius <= 0 || fromEdge >= radius) {
        return 0;
    }
    // Widest column of the circle on each row above its centre, from the midpoint walk of
    // one octant (x from 0 while x < y) and its mirror image.
    std::vector<int> widest(static_cast<size_t>(radius) + 1, 0);
    int x = 0;
    int y = radius;
    int decision = 1 - radius;
    widest[static_cast<size_t>(y)] = std::max(widest[static_cast<size_t>(y)], x);
    widest[static_cast<size_t>(x)] = std::max(widest[static_cast<size_t>(x)], y);
    while (x < y) {
        ++x;
        if (decision < 0) {
            decision += 2 * x + 1;
        } else {
            --y;
            decision += 2 * (x - y) + 1;
        }
        widest[static_cast<size_t>(y)] = std::max(widest[static_cast<size_t>(y)], x);
        widest[static_cast<size_t>(x)] = std::max(widest[static_cast<size_t>(x)], y);
    }
    return radius - widest[static_cast<size_t>(radius - fromEdge)];
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
        const int inset = RoundCornerInset(y, h, ellipse);
        if (w - 2 * inset > 0) {
            rows.push_back(XRectangle{static_cast<short>(inset), static_cast<short>(y),
                                      static_cast<unsigned short>(w - 2 * inset), 1});
        }
    }
    XShapeCombineRectangles(fl_display, xid, ShapeBounding, 0, 0, rows.data(),
                            static_cast<int>(rows.size()), ShapeSet, Unsorted);
    XFlush(fl_display);
}

void SetWindowName(Fl_Window& window, const std::string& name) {
    Window xid = fl_xid(&window);
    if (xid == 0) {
        return;
    }
    // FLTK writes the UTF-8 bytes into WM_NAME typed as Latin-1 (STRING); window managers
    // that read only WM_NAME then show Hangul garbled. Xlib converts the title into the
    // encoding WM_NAME allows (STRING when it fits, else COMPOUND_TEXT), and _NET_WM_NAME
    // keeps the UTF-8 text for newer ones.
    char* list[] = {const_cast<char*>(name.c_str())};
    XTextProperty property{};
    if (Xutf8TextListToTextProperty(fl_display, list, 1, XStdICCTextStyle, &property) >= 0) {
        XSetWMName(fl_display, xid, &property);
        XSetWMIconName(fl_display, xid, &property);
        XFree(property.value);
    }
    Atom netName = XInternAtom(fl_display, "_NET_WM_NAME", False);
    Atom utf8 = XInternAtom(fl_display, "UTF8_STRING", False);
    XChangeProperty(fl_display, xid, netName, utf8, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(name.data()),
                    static_cast<int>(name.size()));
    XFlush(fl_display);
}

void TakeKeyboardFocus(Fl_Window& window) {
    Window xid = fl_xid(&window);
    if (xid == 0) {
        return;
    }
    // Without a window manager nobody gives a new window the keyboard: keys would go where
    // the pointer is. The window must be viewable before it can take it.
    window.wait_for_expose();
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(fl_display, xid, &attributes) == 0 ||
        attributes.map_state != IsViewable) {
        return;
    }
    XSetInputFocus(fl_display, xid, RevertToParent, CurrentTime);
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

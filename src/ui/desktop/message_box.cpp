// The desktop view's message box.
#include "ui/desktop/message_box.h"

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <memory>

#include "platform/process.h"
#include "ui/desktop/x11_window.h"
#include "ui/view.h"

namespace ui::desktop {

namespace {

constexpr int kMargin = 16;
constexpr int kIconSize = 32;
constexpr int kButtonWidth = 84;
constexpr int kButtonHeight = 26;
constexpr int kTextSize = 13;

enum class Icon { kNone, kInformation, kWarning };

// The box's text as written: no '@' symbols, no '&' shortcuts, lines as given.
class TextArea final : public Fl_Widget {
public:
    TextArea(int x, int y, int w, int h, std::string text)
        : Fl_Widget(x, y, w, h), m_text(std::move(text)) {}
    void draw() override {
        fl_font(FL_HELVETICA, kTextSize);
        fl_color(FL_BLACK);
        fl_draw(m_text.c_str(), x(), y(), w(), h(), FL_ALIGN_LEFT | FL_ALIGN_TOP | FL_ALIGN_INSIDE,
                nullptr, 0);
    }

private:
    std::string m_text;
};

// The icon the flags ask for, drawn in the manner of the system's icons.
class IconArea final : public Fl_Widget {
public:
    IconArea(int x, int y, Icon icon) : Fl_Widget(x, y, kIconSize, kIconSize), m_icon(icon) {}
    void draw() override {
        fl_font(FL_HELVETICA_BOLD, 22);
        if (m_icon == Icon::kInformation) {
            fl_color(fl_rgb_color(30, 100, 210));
            fl_pie(x(), y(), w(), h(), 0, 360);
            fl_color(FL_WHITE);
            fl_draw("i", x(), y(), w(), h(), FL_ALIGN_CENTER, nullptr, 0);
        } else if (m_icon == Icon::kWarning) {
            fl_color(fl_rgb_color(250, 200, 20));
            fl_polygon(x() + w() / 2, y() + 1, x() + w() - 1, y() + h() - 2, x(), y() + h() - 2);
            fl_color(FL_BLACK);
            fl_draw("!", x(), y() + 4, w(), h() - 4, FL_ALIGN_CENTER, nullptr, 0);
        }
    }

private:
    Icon m_icon;
};

// Faces of the box buttons, those of the dialog's own image buttons: normal, highlighted
// (pointer over it), pressed; the frame and the caption colour of the normal face.
constexpr Fl_Color kFaceNormal = 0xE2E4E800;
constexpr Fl_Color kFaceHighlighted = 0x78B6F000;
constexpr Fl_Color kFacePressed = 0x1E58AA00;
constexpr Fl_Color kFrame = 0xA0A6B200;
constexpr Fl_Color kCaption = 0x102C7800;

// A flat box button in the look of the dialog's buttons. Like a Windows one it is pressed by
// Enter while it has the focus, and the default button takes Enter when no other button has
// the focus; the focused button shows a dotted mark inside its frame.
class BoxButton final : public Fl_Button {
public:
    BoxButton(int x, int y, int w, int h, const char* label, bool isDefault)
        : Fl_Button(x, y, w, h, label), m_default(isDefault) {
        labelfont(FL_HELVETICA);
        labelsize(kTextSize);
    }
    int handle(int event) override {
        switch (event) {
            case FL_KEYBOARD:
                if (Fl::focus() == this && IsEnter()) {
                    do_callback();
                    return 1;
                }
                break;
            case FL_SHORTCUT:
                if (m_default && IsEnter() && !OtherButtonHasFocus()) {
                    do_callback();
                    return 1;
                }
                break;
            case FL_ENTER:
            case FL_LEAVE:
                m_highlighted = event == FL_ENTER;
                redraw();
                break;
            default:
                break;
        }
        return Fl_Button::handle(event);
    }
    void draw() override {
        const bool pressed = value() != 0;
        const Fl_Color face = pressed         ? kFacePressed
                              : m_highlighted ? kFaceHighlighted
                                              : kFaceNormal;
        fl_rectf(x(), y(), w(), h(), face);
        fl_color(kFrame);
        fl_rect(x(), y(), w(), h());
        fl_font(labelfont(), labelsize());
        fl_color(pressed || m_highlighted ? FL_WHITE : kCaption);
        fl_draw(label(), x(), y(), w(), h(), FL_ALIGN_CENTER, nullptr, 0);
        if (Fl::focus() == this) {
            fl_color(kCaption);
            fl_line_style(FL_DOT);
            fl_rect(x() + 3, y() + 3, w() - 6, h() - 6);
            fl_line_style(FL_SOLID);
        }
    }

private:
    static bool IsEnter() { return Fl::event_key() == FL_Enter || Fl::event_key() == FL_KP_Enter; }
    bool OtherButtonHasFocus() const {
        const Fl_Widget* focus = Fl::focus();
        return focus != nullptr && focus != this && focus->window() == window() &&
               dynamic_cast<const BoxButton*>(focus) != nullptr;
    }

    bool m_default;
    bool m_highlighted = false;
};

// The window a box belongs to, as Windows owns a box by the active window: the top-level
// window that holds the keyboard focus, else the first one shown; null when none is shown.
Fl_Window* OwnerWindow() {
    if (Fl_Widget* focus = Fl::focus()) {
        if (Fl_Window* w = focus->top_window(); w != nullptr && w->shown()) {
            return w;
        }
    }
    for (Fl_Window* w = Fl::first_window(); w != nullptr; w = Fl::next_window(w)) {
        if (w->shown() && w->visible()) {
            return w;
        }
    }
    return nullptr;
}

std::string WithoutCarriageReturns(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c != '\r') {
            out.push_back(c);
        }
    }
    return out;
}

struct BoxState {
    bool yesNo = false;
    int answer = 0;
};

// What one button answers.
struct ButtonAnswer {
    BoxState* state;
    int answer;
};

void Answer(Fl_Widget* button, void* data) {
    auto* choice = static_cast<ButtonAnswer*>(data);
    choice->state->answer = choice->answer;
    button->window()->hide();
}

// Escape and the window's close button: an OK box answers OK, a yes/no box has no way out
// but its two buttons (Windows disables its close button).
void CloseRequested(Fl_Widget* window, void* data) {
    auto* state = static_cast<BoxState*>(data);
    if (state->yesNo) {
        return;
    }
    state->answer = kIdOk;
    window->hide();
}

}  // namespace

Fl_Window* CentreOnOwner(Fl_Window& window) {
    Fl_Window* owner = OwnerWindow();
    const int w = window.w();
    const int h = window.h();
    int left = (Fl::w() - w) / 2;
    int top = (Fl::h() - h) / 2;
    if (owner != nullptr) {
        left = std::clamp(owner->x_root() + (owner->w() - w) / 2, 0, std::max(0, Fl::w() - w));
        top = std::clamp(owner->y_root() + (owner->h() - h) / 2, 0, std::max(0, Fl::h() - h));
    }
    window.position(left, top);
    return owner;
}

int ShowDesktopMessageBox(const std::string& caption, const std::string& text, unsigned flags) {
    BoxState state;
    state.yesNo = (flags & 0x0F) == kMbYesNo;
    const unsigned iconFlags = flags & 0xF0;
    const Icon icon = iconFlags == kMbIconInformation ? Icon::kInformation
                      : iconFlags == kMbIconWarning   ? Icon::kWarning
                                                      : Icon::kNone;
    const std::string shown = WithoutCarriageReturns(text);

    fl_font(FL_HELVETICA, kTextSize);
    int textW = 0;
    int textH = 0;
    fl_measure(shown.c_str(), textW, textH, 0);
    // Measured before the box has a window, mixed Hangul and Latin lines come out narrower
    // than Xft then draws them (by up to a tenth on our screens): leave room for that.
    textW += textW / 8 + 8;
    const int iconW = icon == Icon::kNone ? 0 : kIconSize + kMargin;
    const int buttons = state.yesNo ? 2 : 1;
    const int buttonsW = buttons * kButtonWidth + (buttons - 1) * 8;
    const int contentW = std::max(iconW + textW, buttonsW);
    const int bodyH = std::max(textH, icon == Icon::kNone ? 0 : kIconSize);
    const int w = std::max(contentW + 2 * kMargin, 160);
    const int h = kMargin + bodyH + kMargin + kButtonHeight + kMargin;

    Fl_Double_Window window(w, h);
    window.copy_label(caption.c_str());
    window.xclass("MivoMessageBox");
    window.color(FL_WHITE);
    window.set_modal();
    window.callback(CloseRequested, &state);
    if (icon != Icon::kNone) {
        new IconArea(kMargin, kMargin, icon);  // owned by the window
    }
    new TextArea(kMargin + iconW, kMargin + (bodyH - textH) / 2, textW + 4, textH, shown);
    const int buttonsY = h - kMargin - kButtonHeight;
    int buttonX = (w - buttonsW) / 2;
    // The first button is the default: Enter presses it, as in a Windows box.
    auto* first = new BoxButton(buttonX, buttonsY, kButtonWidth, kButtonHeight,
                                state.yesNo ? "예" : "확인", true);
    ButtonAnswer firstAnswer{&state, state.yesNo ? kIdYes : kIdOk};
    ButtonAnswer noAnswer{&state, kIdNo};
    first->callback(Answer, &firstAnswer);
    if (state.yesNo) {
        buttonX += kButtonWidth + 8;
        auto* no = new BoxButton(buttonX, buttonsY, kButtonWidth, kButtonHeight, "아니요", false);
        no->callback(Answer, &noAnswer);
    }
    window.end();
    Fl_Window* owner = CentreOnOwner(window);

    // As with a Windows box, the control that had the focus gets it back afterwards.
    Fl_Widget* focus = Fl::focus();
    Fl_Widget_Tracker focusAlive(focus);
    Fl_Widget_Tracker ownerAlive(owner);
    platform::WindowRegistration registration(caption);
    window.show();
    SetWindowName(window, caption);
    TakeKeyboardFocus(window);
    first->take_focus();
    while (window.shown()) {
        Fl::wait();
    }
    // The keyboard goes back to the owner too: without a window manager it would fall to the
    // root window when the box goes.
    if (owner != nullptr && !ownerAlive.deleted() && owner->shown()) {
        TakeKeyboardFocus(*owner);
    }
    if (focus != nullptr && !focusAlive.deleted() && focus->visible_r()) {
        focus->take_focus();
    }
    return state.answer;
}

}  // namespace ui::desktop

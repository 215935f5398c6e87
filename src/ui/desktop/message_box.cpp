// The desktop view's message box.
#include "ui/desktop/message_box.h"

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Return_Button.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <memory>

#include "platform/process.h"
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

// A box button that, like a Windows one, is pressed by Enter while it has the focus (the
// default button takes Enter only when no other button has the focus).
class BoxButton final : public Fl_Button {
public:
    using Fl_Button::Fl_Button;
    int handle(int event) override {
        if (event == FL_KEYBOARD && Fl::focus() == this &&
            (Fl::event_key() == FL_Enter || Fl::event_key() == FL_KP_Enter)) {
            do_callback();
            return 1;
        }
        return Fl_Button::handle(event);
    }
};

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
    auto* first = new Fl_Return_Button(buttonX, buttonsY, kButtonWidth, kButtonHeight,
                                       state.yesNo ? "예" : "확인");
    ButtonAnswer firstAnswer{&state, state.yesNo ? kIdYes : kIdOk};
    ButtonAnswer noAnswer{&state, kIdNo};
    first->callback(Answer, &firstAnswer);
    if (state.yesNo) {
        buttonX += kButtonWidth + 8;
        auto* no = new BoxButton(buttonX, buttonsY, kButtonWidth, kButtonHeight, "아니요");
        no->callback(Answer, &noAnswer);
    }
    window.end();
    window.position((Fl::w() - w) / 2, (Fl::h() - h) / 2);

    // As with a Windows box, the control that had the focus gets it back afterwards.
    Fl_Widget* focus = Fl::focus();
    Fl_Widget_Tracker focusAlive(focus);
    platform::WindowRegistration registration(caption);
    window.show();
    first->take_focus();
    while (window.shown()) {
        Fl::wait();
    }
    if (focus != nullptr && !focusAlive.deleted() && focus->visible_r()) {
        focus->take_focus();
    }
    return state.answer;
}

}  // namespace ui::desktop

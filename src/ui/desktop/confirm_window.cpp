// The desktop confirmation dialog.
#include "ui/desktop/confirm_window.h"

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_RGB_Image.H>
#include <FL/fl_ask.H>
#include <FL/fl_draw.H>
#include <FL/fl_utf8.h>

#include <algorithm>
#include <cstring>

#include "platform/process.h"
#include "ui/desktop/four_button.h"
#include "ui/desktop/pictures.h"
#include "ui/desktop/x11_window.h"
#include "ui/view.h"

namespace ui::desktop {

unsigned VirtualKeyOfCurrentEvent() {
    const int key = Fl::event_key();
    const char* text = Fl::event_text();
    // Text committed by the input method (Hangul syllables) arrives with the key that ended
    // the composition; Windows reports such keys as VK_PROCESSKEY.
    if (Fl::event_length() > 0 && static_cast<unsigned char>(text[0]) >= 0x80) {
        return vk::kProcessKey;
    }
    if (key >= 'a' && key <= 'z') {
        return static_cast<unsigned>(key - 'a' + 'A');
    }
    if (key >= '0' && key <= '9') {
        return static_cast<unsigned>(key);
    }
    if (key >= FL_KP + '0' && key <= FL_KP + '9') {
        return vk::kNumpad0 + static_cast<unsigned>(key - FL_KP - '0');
    }
    switch (key) {
        case FL_BackSpace:
            return vk::kBack;
        case FL_Tab:
            return vk::kTab;
        case FL_Enter:
        case FL_KP_Enter:
            return vk::kReturn;
        case FL_Escape:
            return vk::kEscape;
        case ' ':
            return vk::kSpace;
        case FL_End:
            return vk::kEnd;
        case FL_Home:
            return vk::kHome;
        case FL_Left:
            return vk::kLeft;
        case FL_Up:
            return vk::kUp;
        case FL_Right:
            return vk::kRight;
        case FL_Down:
            return vk::kDown;
        case FL_Delete:
            return vk::kDelete;
        case '-':
            return vk::kOemMinus;
        case ';':
            return 0xBA;
        case '=':
            return 0xBB;
        case ',':
            return 0xBC;
        case '.':
            return 0xBE;
        case '/':
            return 0xBF;
        case '`':
            return 0xC0;
        case '[':
            return 0xDB;
        case '\\':
            return 0xDC;
        case ']':
            return 0xDD;
        case '\'':
            return 0xDE;
        case FL_Shift_L:
        case FL_Shift_R:
            return 0x10;
        case FL_Control_L:
        case FL_Control_R:
            return 0x11;
        case FL_Alt_L:
        case FL_Alt_R:
            return 0x12;
        default:
            // Keys of the input method itself (Hangul/English toggle, Hanja) and anything
            // unknown: not a letter, so a filtering field swallows them.
            return key >= 0xfe00 ? vk::kProcessKey : 0xFF;
    }
}

namespace {

size_t CharacterCount(const char* text, int bytes) {
    return static_cast<size_t>(fl_utf_nb_char(reinterpret_cast<const unsigned char*>(text), bytes));
}

class DesktopConfirmView;

// An edit field that shows every key-down to the dialog first, as PreTranslateMessage does.
class Field final : public Fl_Input {
public:
    Field(DesktopConfirmView& owner, int control, int top, size_t limit, bool digitsOnly);
    int handle(int event) override;
    int Control() const { return m_control; }

private:
    bool WouldExceedLimit(const char* inserted, int bytes) const;

    DesktopConfirmView& m_owner;
    int m_control;
    size_t m_limit;     // characters
    bool m_digitsOnly;  // ES_NUMBER
};

// The dialog's window: the picture, the painted ordinal, dragging by the face.
class ConfirmWindow final : public Fl_Double_Window {
public:
    ConfirmWindow(DesktopConfirmView& owner, std::unique_ptr<Fl_RGB_Image> background,
                  const ConfirmLook& look);
    int handle(int event) override;

protected:
    void draw() override;

private:
    DesktopConfirmView& m_owner;
    std::unique_ptr<Fl_RGB_Image> m_background;
    std::string m_ordinal;
    int m_ordinalLeft;
    int m_dragX = 0;  // the pointer's offset in the window while the face is dragged
    int m_dragY = 0;
    bool m_dragging = false;
};

// Marks the dialog busy for the life of the object.
class Busy {
public:
    explicit Busy(bool& flag) : m_flag(flag) { m_flag = true; }
    ~Busy() { m_flag = false; }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

private:
    bool& m_flag;
};

class DesktopConfirmView final : public IConfirmView {
public:
    explicit DesktopConfirmView(const ConfirmLook& look) : m_look(look) {}
    bool Build();

    int RunModal(IConfirmController& controller) override;
    std::string FieldText(int control) override;
    void MakeNameEditable() override { m_name->readonly(0); }
    bool IsNameEditable() override { return m_name->readonly() == 0; }
    void SetFocus(int control) override;
    int FocusedControl() override;
    void UseNativeInput() override;
    void EndDialog(int result) override;

    /// A key-down in the dialog: the dialog's filter, then the dialog's own keys (Enter is
    /// the install button, Escape cancels). True when handled.
    bool KeyDown();
    void FieldChanged(int control);
    void ButtonClicked(const Fl_Widget* button);
    void Cancel();

private:
    ConfirmLook m_look;
    std::unique_ptr<ConfirmWindow> m_window;
    std::unique_ptr<Fl_RGB_Image> m_icon;
    Field* m_examNumber = nullptr;  // owned by the window
    Field* m_name = nullptr;
    CFourButton2* m_install = nullptr;  // owned by the window
    IConfirmController* m_controller = nullptr;
    bool m_busy = false;  // a button's, key's or field's work is running
    bool m_ended = false;
    int m_result = kIdCancel;
};

Field::Field(DesktopConfirmView& owner, int control, int top, size_t limit, bool digitsOnly)
    : Fl_Input(layout::kFieldLeft, top, layout::kFieldWidth, layout::kFieldHeight),
      m_owner(owner),
      m_control(control),
      m_limit(limit),
      m_digitsOnly(digitsOnly) {
    box(FL_BORDER_BOX);
    color(FL_WHITE);
    textfont(FL_HELVETICA_BOLD);
    textsize(layout::kFieldFontSize);
    // Limits are counted in characters below; the byte limit only has to be out of the way.
    maximum_size(static_cast<int>(limit * 4));
    // The change is reported after the field has finished handling the event (see handle),
    // never from inside its edit, where a message box would paint a half-edited field.
    when(0);
}

bool Field::WouldExceedLimit(const char* inserted, int bytes) const {
    const int from = std::min(position(), mark());
    const int to = std::max(position(), mark());
    const size_t now = CharacterCount(value(), size());
    const size_t selected = CharacterCount(value() + from, to - from);
    return now - selected + CharacterCount(inserted, bytes) > m_limit;
}

int Field::handle(int event) {
    if (event == FL_KEYBOARD) {
        if (m_owner.KeyDown()) {
            return 1;
        }
        const char* text = Fl::event_text();
        const int length = Fl::event_length();
        const bool typed = length > 0 && static_cast<unsigned char>(text[0]) >= 0x20 &&
                           text[0] != 0x7f && !Fl::event_state(FL_CTRL | FL_ALT | FL_META);
        if (typed && !readonly()) {
            if (m_digitsOnly) {
                for (int i = 0; i < length; ++i) {
                    if (text[i] < '0' || text[i] > '9') {
                        fl_beep();
                        return 1;
                    }
                }
            }
            if (WouldExceedLimit(text, length)) {
                fl_beep();
                return 1;
            }
        }
    } else if (event == FL_PASTE && !readonly()) {
        // A number-only field refuses a paste that holds anything but digits, whole, as
        // Windows' number-only edit does.
        const char* text = Fl::event_text();
        const int length = Fl::event_length();
        const bool digits =
            std::all_of(text, text + length, [](char c) { return c >= '0' && c <= '9'; });
        if ((m_digitsOnly && !digits) || WouldExceedLimit(text, length)) {
            fl_beep();
            return 1;
        }
    }
    const std::string before = value();
    Fl_Widget_Tracker alive(this);
    const int handled = Fl_Input::handle(event);
    if (!alive.deleted() && before != value()) {
        m_owner.FieldChanged(m_control);
    }
    return handled;
}

ConfirmWindow::ConfirmWindow(DesktopConfirmView& owner, std::unique_ptr<Fl_RGB_Image> background,
                             const ConfirmLook& look)
    : Fl_Double_Window(0, 0, background->w(), background->h()),
      m_owner(owner),
      m_background(std::move(background)),
      m_ordinal(OrdinalText(look.ordinal)),
      m_ordinalLeft(OrdinalLeft(look.ordinal)) {
    box(FL_NO_BOX);
    border(0);
    copy_label(look.title.c_str());
    // The class lets tools and tests find the dialog whatever its (Korean) title.
    xclass("MivoConfirm");
}

void ConfirmWindow::draw() {
    // The face: the picture unscaled at the top-left corner, then the ordinal in the gap
    // of its title line, then the fields and buttons. When only a child changed, the face
    // stays as it is: painting it would cover the parts of the child that it does not redraw.
    if ((damage() & ~FL_DAMAGE_CHILD) == 0) {
        draw_children();
        return;
    }
    m_background->draw(0, 0);
    fl_font(FL_HELVETICA_BOLD, layout::kOrdinalFontSize);
    fl_color(fl_rgb_color(61, 139, 212));
    int textW = 0;
    int textH = 0;
    fl_measure(m_ordinal.c_str(), textW, textH, 0);
    // The rectangle is exactly the text's extent, so centring in it draws at its left.
    fl_draw(m_ordinal.c_str(), m_ordinalLeft, layout::kOrdinalTop + fl_height() - fl_descent());
    draw_children();
}

int ConfirmWindow::handle(int event) {
    switch (event) {
        case FL_PUSH:
            if (Fl_Double_Window::handle(event) != 0) {
                return 1;  // a field or a button took it
            }
            if (Fl::event_button() != FL_LEFT_MOUSE) {
                return 0;
            }
            // The face moves the window as a caption bar would.
            m_dragging = true;
            m_dragX = Fl::event_x_root() - x_root();
            m_dragY = Fl::event_y_root() - y_root();
            return 1;
        case FL_DRAG:
            if (m_dragging) {
                position(Fl::event_x_root() - m_dragX, Fl::event_y_root() - m_dragY);
                return 1;
            }
            break;
        case FL_RELEASE:
            if (m_dragging) {
                // Motion may have been merged away: the release says where the move ends.
                position(Fl::event_x_root() - m_dragX, Fl::event_y_root() - m_dragY);
                m_dragging = false;
                return 1;
            }
            break;
        case FL_KEYBOARD:
            // No field has the focus (or it passed the key on): the dialog's keys.
            if (Fl::focus() == this || Fl::focus() == nullptr) {
                if (m_owner.KeyDown()) {
                    return 1;
                }
            }
            break;
        default:
            break;
    }
    return Fl_Double_Window::handle(event);
}

void WindowClosed(Fl_Widget*, void* data) {
    static_cast<DesktopConfirmView*>(data)->Cancel();
}

void ButtonCallback(Fl_Widget* button, void* data) {
    static_cast<DesktopConfirmView*>(data)->ButtonClicked(button);
}

bool DesktopConfirmView::Build() {
    std::unique_ptr<Fl_RGB_Image> background = LoadPicture(BackgroundPicture(m_look.examKind));
    if (!background) {
        return false;
    }
    m_window = std::make_unique<ConfirmWindow>(*this, std::move(background), m_look);
    m_window->begin();
    m_examNumber = new Field(*this, kIdcExamNumber, layout::kExamNumberTop, kExamNumberLimit, true);
    m_name = new Field(*this, kIdcName, layout::kNameTop, kNameLimit, false);
    m_name->readonly(1);
    struct Placement {
        int control;
        int picture;
        int left;
        int top;
    };
    const Placement buttons[] = {
        {kIdcInstall, kInstallStrip, layout::kInstallLeft, layout::kButtonsTop},
        {kIdcCancel, kCancelStrip, layout::kCancelLeft, layout::kButtonsTop},
        {kIdcExit, kExitStrip, layout::kExitLeft, layout::kExitTop},
    };
    bool loaded = true;
    for (const Placement& p : buttons) {
        auto* button = new CFourButton2(p.left, p.top);
        loaded = button->LoadButtonImage(p.picture) && loaded;
        button->callback(ButtonCallback, this);
        if (p.control == kIdcInstall) {
            m_install = button;
        }
    }
    m_window->end();
    m_window->callback(WindowClosed, this);
    m_icon = LoadPicture(kIconPicture);
    if (m_icon) {
        m_window->icon(m_icon.get());
    }
    return loaded;
}

int DesktopConfirmView::RunModal(IConfirmController& controller) {
    m_controller = &controller;
    m_window->show();
    m_window->position(0, 0);
    CutRoundCorners(*m_window, layout::kCornerEllipse);
    KeepTaskBarEntry(*m_window);
    SetWindowName(*m_window, m_look.title);
    TakeKeyboardFocus(*m_window);
    platform::WindowRegistration registration(m_look.title);
    Fl::flush();
    controller.OnInitDialog();
    while (!m_ended && m_window->shown()) {
        Fl::wait();
    }
    m_window->hide();
    Fl::flush();
    m_controller = nullptr;
    return m_result;
}

std::string DesktopConfirmView::FieldText(int control) {
    if (control == kIdcExamNumber) {
        return m_examNumber->value();
    }
    if (control == kIdcName) {
        return m_name->value();
    }
    return {};
}

void DesktopConfirmView::SetFocus(int control) {
    // The buttons never take the focus (no focus mark); only the fields can.
    if (control == kIdcExamNumber) {
        m_examNumber->take_focus();
    } else if (control == kIdcName) {
        m_name->take_focus();
    }
}

int DesktopConfirmView::FocusedControl() {
    const Fl_Widget* focus = Fl::focus();
    if (focus == m_examNumber) {
        return kIdcExamNumber;
    }
    if (focus == m_name) {
        return kIdcName;
    }
    return 0;
}

void DesktopConfirmView::UseNativeInput() {
    // XIM has no conversion mode an application could set: the Hangul/English toggle
    // belongs to the input-method server (nimf, ibus, fcitx, nabi). What we can do is keep
    // the input method connected to our fields, so that the examinee's toggle works there.
    Fl::enable_im();
}

void DesktopConfirmView::EndDialog(int result) {
    m_result = result;
    m_ended = true;
    if (m_window) {
        m_window->hide();
    }
}

bool DesktopConfirmView::KeyDown() {
    if (m_controller == nullptr) {
        return false;
    }
    if (m_busy) {
        return true;  // keys typed while the installation runs wait for nothing
    }
    const Busy busy(m_busy);
    const unsigned key = VirtualKeyOfCurrentEvent();
    if (m_controller->PreTranslateKeyDown(key, Fl::event_key(FL_Control_L) != 0)) {
        return true;
    }
    // The dialog's standard keys: Enter presses the default (install) button, Escape is
    // the standard cancel.
    if (key == vk::kReturn) {
        m_controller->OnInstallClicked();
        return true;
    }
    if (key == vk::kEscape) {
        m_controller->OnCancel();
        return true;
    }
    return false;
}

void DesktopConfirmView::FieldChanged(int control) {
    if (control == kIdcExamNumber && m_controller != nullptr && !m_busy) {
        const Busy busy(m_busy);
        m_controller->OnExamNumberUpdate();
    }
}

void DesktopConfirmView::ButtonClicked(const Fl_Widget* button) {
    // One piece of work at a time: while an installation runs, the pending events are
    // dispatched, and a second click must not start it again.
    if (m_controller == nullptr || m_busy) {
        return;
    }
    const Busy busy(m_busy);
    // The install button is IDOK; cancel (IDCANCEL) and exit (1002) both cancel.
    if (button == m_install) {
        m_controller->OnInstallClicked();
    } else {
        m_controller->OnCancel();
    }
}

void DesktopConfirmView::Cancel() {
    if (m_controller != nullptr && !m_busy) {
        const Busy busy(m_busy);
        m_controller->OnCancel();
    }
}

}  // namespace

std::unique_ptr<IConfirmView> MakeDesktopConfirmView(const ConfirmLook& look) {
    auto view = std::make_unique<DesktopConfirmView>(look);
    if (!view->Build()) {
        return nullptr;
    }
    return view;
}

}  // namespace ui::desktop

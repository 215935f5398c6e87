// The Windows confirmation dialog.
#include "ui/win32/confirm_dialog.h"

#include <windows.h>
// After <windows.h>, whose types they use.
#include <commctrl.h>
#include <imm.h>
#include <windowsx.h>

#include <array>
#include <string>

#include "platform/win32/wide.h"
#include "ui/confirm_look.h"
#include "ui/view.h"
#include "ui/win32/four_button.h"
#include "ui/win32/pictures.h"

namespace ui::win32 {

namespace {

using platform::win32::Narrow;
using platform::win32::Wide;

constexpr int kDialogTemplate = 102;

bool g_waitCursorShown = false;  // user-interface thread only

// A font of the face the dialog draws with: bold, proportional sans-serif "Dotum" of the
// given cell height.
HFONT MakeDialogFont(int height) {
    return CreateFontW(height, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, ANSI_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_SWISS, L"Dotum");
}

// The exam-number field refuses a paste that holds anything but digits, whole: its
// number-only style filters typed characters only, and the field must never hold a letter.
LRESULT CALLBACK NumberFieldProc(HWND field, UINT message, WPARAM wParam, LPARAM lParam,
                                 UINT_PTR /*id*/, DWORD_PTR /*data*/) {
    if (message == WM_PASTE) {
        bool digitsOnly = false;
        if (OpenClipboard(field)) {
            if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
                if (const auto* text = static_cast<const wchar_t*>(GlobalLock(data))) {
                    digitsOnly = true;
                    for (const wchar_t* c = text; *c != L'\0'; ++c) {
                        digitsOnly = digitsOnly && *c >= L'0' && *c <= L'9';
                    }
                    GlobalUnlock(data);
                }
            }
            CloseClipboard();
        }
        if (!digitsOnly) {
            MessageBeep(MB_OK);
            return 0;
        }
    } else if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(field, NumberFieldProc, 0);
    }
    return DefSubclassProc(field, message, wParam, lParam);
}

class Win32ConfirmView final : public IConfirmView {
public:
    explicit Win32ConfirmView(const ConfirmLook& look)
        : m_look(look),
          m_fieldFont(MakeDialogFont(layout::kFieldFontSize)),
          m_ordinalFont(MakeDialogFont(layout::kOrdinalFontSize)) {}
    ~Win32ConfirmView() override;
    Win32ConfirmView(const Win32ConfirmView&) = delete;
    Win32ConfirmView& operator=(const Win32ConfirmView&) = delete;

    bool LoadPictures();

    int RunModal(IConfirmController& controller) override;
    std::string FieldText(int control) override;
    void MakeNameEditable() override;
    bool IsNameEditable() override;
    void SetFocus(int control) override;
    int FocusedControl() override;
    void UseNativeInput() override;
    void EndDialog(int result) override;

private:
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void InitDialog();
    void PlaceField(int control, int top);
    void Paint();
    bool PreTranslateMessage(const MSG& message);
    void Command(int control, int notification);
    CFourButton2* ButtonOf(int control);

    ConfirmLook m_look;
    HFONT m_fieldFont;
    HFONT m_ordinalFont;
    HICON m_bigIcon = nullptr;
    HICON m_smallIcon = nullptr;
    std::unique_ptr<Picture> m_background;
    std::array<CFourButton2, 3> m_buttons;  // install, cancel, exit
    HWND m_dialog = nullptr;
    IConfirmController* m_controller = nullptr;
    bool m_inHandler = false;  // a button's or key's work is running
    bool m_ended = false;
    int m_result = kIdCancel;
};

struct ButtonPlace {
    int control;
    int strip;
    int left;
    int top;
};

constexpr std::array<ButtonPlace, 3> kButtonPlaces = {{
    {kIdcInstall, kInstallStrip, layout::kInstallLeft, layout::kButtonsTop},
    {kIdcCancel, kCancelStrip, layout::kCancelLeft, layout::kButtonsTop},
    {kIdcExit, kExitStrip, layout::kExitLeft, layout::kExitTop},
}};

Win32ConfirmView::~Win32ConfirmView() {
    if (m_dialog != nullptr) {
        DestroyWindow(m_dialog);
    }
    DeleteObject(m_fieldFont);
    DeleteObject(m_ordinalFont);
    if (m_bigIcon != nullptr) {
        DestroyIcon(m_bigIcon);
    }
    if (m_smallIcon != nullptr) {
        DestroyIcon(m_smallIcon);
    }
}

bool Win32ConfirmView::LoadPictures() {
    m_background = Picture::Load(BackgroundPicture(m_look.examKind));
    bool loaded = m_background != nullptr;
    for (size_t i = 0; i < m_buttons.size(); ++i) {
        loaded = m_buttons[i].LoadButtonImage(kButtonPlaces[i].strip) && loaded;
    }
    return loaded;
}

int Win32ConfirmView::RunModal(IConfirmController& controller) {
    m_controller = &controller;
    m_ended = false;
    m_dialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kDialogTemplate),
                                  nullptr, DialogProc, reinterpret_cast<LPARAM>(this));
    if (m_dialog == nullptr) {
        m_controller = nullptr;
        return kIdCancel;
    }
    SetForegroundWindow(m_dialog);
    // The dialog's own loop, so that the dialog sees every message before it is dispatched
    // (the key filter), as a modal loop of the framework would show it.
    MSG message;
    while (!m_ended) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == -1) {
            break;
        }
        if (got == 0) {
            // A quit request belongs to the outer loop: leave it there.
            PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        if (PreTranslateMessage(message)) {
            continue;
        }
        if (!IsDialogMessageW(m_dialog, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    DestroyWindow(m_dialog);
    m_dialog = nullptr;
    m_controller = nullptr;
    return m_result;
}

bool Win32ConfirmView::PreTranslateMessage(const MSG& message) {
    if (message.message != WM_KEYDOWN || m_controller == nullptr ||
        (message.hwnd != m_dialog && !IsChild(m_dialog, message.hwnd))) {
        return false;
    }
    if (m_inHandler) {
        return true;  // keys typed while the installation runs wait for nothing
    }
    m_inHandler = true;
    const bool handled = m_controller->PreTranslateKeyDown(
        static_cast<unsigned>(message.wParam), (GetKeyState(VK_LCONTROL) & 0x8000) != 0);
    m_inHandler = false;
    return handled;
}

INT_PTR CALLBACK Win32ConfirmView::DialogProc(HWND dialog, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<Win32ConfirmView*>(lParam);
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        self->m_dialog = dialog;
        self->InitDialog();
        return FALSE;  // the focus is set already
    }
    auto* self = reinterpret_cast<Win32ConfirmView*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (self == nullptr) {
        return FALSE;
    }
    return self->Handle(message, wParam, lParam);
}

void Win32ConfirmView::InitDialog() {
    const int iconId = kIconPicture;
    m_bigIcon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(iconId),
                                              IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                              GetSystemMetrics(SM_CYICON), 0));
    m_smallIcon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(iconId),
                                                IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                GetSystemMetrics(SM_CYSMICON), 0));
    SendMessageW(m_dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_bigIcon));
    SendMessageW(m_dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_smallIcon));
    SetWindowTextW(m_dialog, Wide(m_look.title).c_str());

    // The face: the picture's size at the template's place, with curved corners.
    RECT window;
    GetWindowRect(m_dialog, &window);
    SetWindowPos(m_dialog, nullptr, window.left, window.top, m_background->Width(),
                 m_background->Height(), SWP_NOZORDER | SWP_NOACTIVATE);
    RECT client;
    GetClientRect(m_dialog, &client);
    // The system owns the region from here on.
    SetWindowRgn(m_dialog,
                 CreateRoundRectRgn(0, 0, client.right + 1, client.bottom + 1,
                                    layout::kCornerEllipse, layout::kCornerEllipse),
                 TRUE);

    PlaceField(kIdcExamNumber, layout::kExamNumberTop);
    SendDlgItemMessageW(m_dialog, kIdcExamNumber, EM_LIMITTEXT, kExamNumberLimit, 0);
    SetWindowSubclass(GetDlgItem(m_dialog, kIdcExamNumber), NumberFieldProc, 0, 0);
    PlaceField(kIdcName, layout::kNameTop);
    SendDlgItemMessageW(m_dialog, kIdcName, EM_LIMITTEXT, kNameLimit, 0);

    for (size_t i = 0; i < m_buttons.size(); ++i) {
        const ButtonPlace& place = kButtonPlaces[i];
        if (m_buttons[i].Attach(GetDlgItem(m_dialog, place.control))) {
            m_buttons[i].Place(place.left, place.top);
        }
    }
    if (m_controller != nullptr) {
        m_controller->OnInitDialog();
    }
}

void Win32ConfirmView::PlaceField(int control, int top) {
    HWND field = GetDlgItem(m_dialog, control);
    // A thin single-line border: the sunken edge a 3-D dialog adds is taken off again.
    SetWindowLongPtrW(field, GWL_EXSTYLE,
                      GetWindowLongPtrW(field, GWL_EXSTYLE) & ~WS_EX_CLIENTEDGE);
    SetWindowLongPtrW(field, GWL_STYLE, GetWindowLongPtrW(field, GWL_STYLE) | WS_BORDER);
    SetWindowPos(field, nullptr, layout::kFieldLeft, top, layout::kFieldWidth, layout::kFieldHeight,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    SendMessageW(field, WM_SETFONT, reinterpret_cast<WPARAM>(m_fieldFont), TRUE);
    // The text sits in the middle of the field: its formatting rectangle keeps its height
    // and moves to half the client height less half its own (each half truncated).
    RECT client;
    GetClientRect(field, &client);
    RECT format;
    SendMessageW(field, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
    const int formatHeight = format.bottom - format.top;
    format.top = client.bottom / 2 - formatHeight / 2;
    format.bottom = format.top + formatHeight;
    SendMessageW(field, EM_SETRECT, 0, reinterpret_cast<LPARAM>(&format));
}

INT_PTR Win32ConfirmView::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ERASEBKGND:
            m_background->Draw(reinterpret_cast<HDC>(wParam), 0, 0, 0, 0, m_background->Width(),
                               m_background->Height());
            SetWindowLongPtrW(m_dialog, DWLP_MSGRESULT, TRUE);
            return TRUE;
        case WM_PAINT:
            Paint();
            return TRUE;
        case WM_DRAWITEM: {
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (CFourButton2* button = ButtonOf(static_cast<int>(item->CtlID))) {
                button->DrawButtonImage(item->hDC);
                return TRUE;
            }
            return FALSE;
        }
        case WM_LBUTTONDOWN: {
            // The face moves the window as a caption bar would: the system's move loop runs
            // until the button is released.
            POINT at = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            ClientToScreen(m_dialog, &at);
            SendMessageW(m_dialog, WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(at.x, at.y));
            ReleaseCapture();
            return FALSE;
        }
        case WM_COMMAND:
            Command(LOWORD(wParam), HIWORD(wParam));
            return TRUE;
        case WM_SETCURSOR:
            // The fields and buttons ask their parent first: the wait cursor wins everywhere.
            if (!g_waitCursorShown) {
                return FALSE;
            }
            SetCursor(LoadCursorW(nullptr, IDC_WAIT));
            SetWindowLongPtrW(m_dialog, DWLP_MSGRESULT, TRUE);
            return TRUE;
        default:
            return FALSE;
    }
}

void Win32ConfirmView::Paint() {
    PAINTSTRUCT paint;
    HDC target = BeginPaint(m_dialog, &paint);
    const COLORREF oldColour = SetTextColor(target, RGB(61, 139, 212));
    HGDIOBJ oldFont = SelectObject(target, m_ordinalFont);
    const int oldMode = SetBkMode(target, TRANSPARENT);
    const std::wstring text = Wide(OrdinalText(m_look.ordinal));
    SIZE extent = {0, 0};
    GetTextExtentPoint32W(target, text.c_str(), static_cast<int>(text.size()), &extent);
    const int left = OrdinalLeft(m_look.ordinal);
    RECT box = {left, layout::kOrdinalTop, left + extent.cx, layout::kOrdinalTop + extent.cy};
    DrawTextW(target, text.c_str(), static_cast<int>(text.size()), &box,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    SetBkMode(target, oldMode);
    SelectObject(target, oldFont);
    SetTextColor(target, oldColour);
    EndPaint(m_dialog, &paint);
}

void Win32ConfirmView::Command(int control, int notification) {
    if (m_controller == nullptr || m_inHandler) {
        // One piece of work at a time: while an installation runs, the pending messages are
        // dispatched, and a second click must not start it again.
        return;
    }
    m_inHandler = true;
    if (control == kIdcExamNumber && notification == EN_UPDATE) {
        m_controller->OnExamNumberUpdate();
    } else if (control == kIdcInstall && notification == BN_CLICKED) {
        m_controller->OnInstallClicked();
    } else if ((control == kIdcCancel || control == kIdcExit) && notification == BN_CLICKED) {
        m_controller->OnCancel();
    }
    m_inHandler = false;
}

CFourButton2* Win32ConfirmView::ButtonOf(int control) {
    for (size_t i = 0; i < m_buttons.size(); ++i) {
        if (kButtonPlaces[i].control == control) {
            return &m_buttons[i];
        }
    }
    return nullptr;
}

std::string Win32ConfirmView::FieldText(int control) {
    HWND field = GetDlgItem(m_dialog, control);
    if (field == nullptr) {
        return {};
    }
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(field)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(GetWindowTextW(field, text.data(), static_cast<int>(text.size()))));
    return Narrow(text.c_str(), text.size());
}

void Win32ConfirmView::MakeNameEditable() {
    SendDlgItemMessageW(m_dialog, kIdcName, EM_SETREADONLY, FALSE, 0);
}

bool Win32ConfirmView::IsNameEditable() {
    return (GetWindowLongPtrW(GetDlgItem(m_dialog, kIdcName), GWL_STYLE) & ES_READONLY) == 0;
}

void Win32ConfirmView::SetFocus(int control) {
    if (HWND item = GetDlgItem(m_dialog, control)) {
        // As the dialog manager moves the focus: a field gets its text selected.
        SendMessageW(m_dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item), TRUE);
    }
}

int Win32ConfirmView::FocusedControl() {
    HWND focus = GetFocus();
    if (focus == nullptr || !IsChild(m_dialog, focus)) {
        return 0;
    }
    return GetDlgCtrlID(focus);
}

void Win32ConfirmView::UseNativeInput() {
    HIMC context = ImmGetContext(m_dialog);
    if (context == nullptr) {
        return;  // no input method on this desktop
    }
    DWORD conversion = 0;
    DWORD sentence = 0;
    if (ImmGetConversionStatus(context, &conversion, &sentence) &&
        conversion == IME_CMODE_ALPHANUMERIC) {
        ImmSetConversionStatus(context, IME_CMODE_NATIVE, sentence);
    }
    ImmReleaseContext(m_dialog, context);
}

void Win32ConfirmView::EndDialog(int result) {
    m_result = result;
    m_ended = true;
    if (m_dialog != nullptr) {
        ShowWindow(m_dialog, SW_HIDE);
    }
}

}  // namespace

void SetWaitCursorShown(bool shown) {
    g_waitCursorShown = shown;
}

std::unique_ptr<IConfirmView> MakeWin32ConfirmView(const ConfirmLook& look) {
    auto view = std::make_unique<Win32ConfirmView>(look);
    if (!view->LoadPictures()) {
        return nullptr;
    }
    return view;
}

}  // namespace ui::win32

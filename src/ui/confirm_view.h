// The confirmation dialog between its logic and a view: the logic knows no toolkit and
// only answers events; a view shows the fields and buttons, reports what the user does,
// and does what the logic asks (focus, the name field's read-only state, the end).
#pragma once

#include <memory>
#include <string>

namespace ui {

/// Control ids of the confirmation dialog.
inline constexpr int kIdcInstall = 1;  // the install button (IDOK)
inline constexpr int kIdcCancel = 2;   // the cancel button (IDCANCEL)
inline constexpr int kIdcExit = 1002;  // the exit button
inline constexpr int kIdcExamNumber = 1003;
inline constexpr int kIdcName = 1004;

/// Field limits in characters.
inline constexpr size_t kExamNumberLimit = 8;
inline constexpr size_t kNameLimit = 50;

/// Virtual-key codes the dialog's key filter knows.
namespace vk {
inline constexpr unsigned kBack = 0x08;
inline constexpr unsigned kTab = 0x09;
inline constexpr unsigned kReturn = 0x0D;
inline constexpr unsigned kEscape = 0x1B;
inline constexpr unsigned kSpace = 0x20;
inline constexpr unsigned kEnd = 0x23;
inline constexpr unsigned kHome = 0x24;
inline constexpr unsigned kLeft = 0x25;
inline constexpr unsigned kUp = 0x26;
inline constexpr unsigned kRight = 0x27;
inline constexpr unsigned kDown = 0x28;
inline constexpr unsigned kDelete = 0x2E;
inline constexpr unsigned kNumpad0 = 0x60;
inline constexpr unsigned kProcessKey = 0xE5;  // a key the input method is composing with
inline constexpr unsigned kOemMinus = 0xBD;
}  // namespace vk

/// What the look of the dialog depends on.
struct ConfirmLook {
    std::string title;  // the window text (task-bar entry)
    int examKind = 0;   // chooses the background picture
    int ordinal = 0;    // painted on the picture ("특별" from 1000 on)
};

/// The dialog logic as its view sees it.
class IConfirmController {
public:
    virtual ~IConfirmController() = default;
    /// Initialises the dialog once the view is up (focus, input method).
    virtual void OnInitDialog() = 0;
    /// The exam-number field's text changed.
    virtual void OnExamNumberUpdate() = 0;
    /// The install button was clicked.
    virtual void OnInstallClicked() = 0;
    /// The cancel or exit button, or the dialog's standard cancel (Escape).
    virtual void OnCancel() = 0;
    /// A key-down before it reaches the focused control; true when the dialog handled or
    /// swallowed it.
    virtual bool PreTranslateKeyDown(unsigned virtualKey, bool leftControlDown) = 0;
};

/// A view of the confirmation dialog.
class IConfirmView {
public:
    virtual ~IConfirmView() = default;
    /// Shows the dialog and runs it, forwarding events to `controller`, until EndDialog;
    /// answers the end result (kIdOk or kIdCancel).
    virtual int RunModal(IConfirmController& controller) = 0;
    /// The text of a field (kIdcExamNumber or kIdcName).
    virtual std::string FieldText(int control) = 0;
    /// Makes the name field editable (it starts read-only).
    virtual void MakeNameEditable() = 0;
    virtual bool IsNameEditable() = 0;
    /// Puts the keyboard focus into a control.
    virtual void SetFocus(int control) = 0;
    /// The control with the focus (0 when none of the dialog's).
    virtual int FocusedControl() = 0;
    /// Switches the input method to native (Hangul) input when it is alphanumeric.
    virtual void UseNativeInput() = 0;
    /// Ends RunModal with `result`.
    virtual void EndDialog(int result) = 0;
};

/// The confirmation view of the view in use (scripted, console or desktop).
std::unique_ptr<IConfirmView> MakeConfirmView(const ConfirmLook& look);

}  // namespace ui

// A confirmation view without a window: the two fields kept as text, keys fed through the
// dialog's key filter exactly as a window's fields would receive them. The scripted and
// console views build on it; they differ only in where the user's actions come from.
#pragma once

#include <string>

#include "ui/confirm_view.h"

namespace ui {

/// The virtual-key code a character's key produces (letters as capitals, digits, blank,
/// hyphen; any other character, such as Hangul, comes through the input method: 229).
unsigned VirtualKeyOf(char32_t character);

/// Fields and focus of a confirmation dialog without a window.
class TextFieldsConfirmView : public IConfirmView {
public:
    std::string FieldText(int control) override;
    void MakeNameEditable() override { m_nameEditable = true; }
    bool IsNameEditable() override { return m_nameEditable; }
    void SetFocus(int control) override { m_focus = control; }
    int FocusedControl() override { return m_focus; }
    void UseNativeInput() override { m_nativeInput = true; }
    void EndDialog(int result) override;

protected:
    /// Clicks into `control` and types `text` key by key: each key passes the dialog's
    /// filter first, then the field takes it as an edit control would (digits only and 8
    /// characters in the exam-number field, 50 in the name field, nothing while read-only).
    void TypeText(IConfirmController& controller, int control, const std::string& text);
    /// Replaces the text of a field as a paste after select-all would (Ctrl+V passes the
    /// filter: V is a letter).
    void PasteText(IConfirmController& controller, int control, const std::string& text);
    /// Empties a field (select-all and Delete).
    void ClearField(IConfirmController& controller, int control);
    /// Presses a key in the focused control: the filter first, then the control.
    void PressKey(IConfirmController& controller, unsigned virtualKey, bool leftControl);

    bool Ended() const { return m_ended; }
    int Result() const { return m_result; }

private:
    void SetText(IConfirmController& controller, int control, const std::u16string& text);

    std::u16string m_examNumber;  // exam-number field text
    std::u16string m_name;        // name field text
    bool m_nameEditable = false;  // the name field starts read-only
    bool m_nativeInput = false;   // the input method is in Hangul mode
    int m_focus = 0;              // the focused control
    bool m_ended = false;         // EndDialog was called
    int m_result = 0;             // EndDialog's result
};

}  // namespace ui

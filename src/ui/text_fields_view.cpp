// Confirmation fields without a window.
#include "ui/text_fields_view.h"

#include "platform/text.h"

namespace ui {

unsigned VirtualKeyOf(char32_t c) {
    if (c >= 'a' && c <= 'z') {
        return static_cast<unsigned>(c - 'a' + 'A');
    }
    if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ') {
        return static_cast<unsigned>(c);
    }
    if (c == '-') {
        return vk::kOemMinus;
    }
    if (c < 0x80) {
        return 0xBA;  // another punctuation key of the main block
    }
    return vk::kProcessKey;
}

std::string TextFieldsConfirmView::FieldText(int control) {
    return platform::Utf16ToUtf8(control == kIdcExamNumber ? m_examNumber : m_name);
}

void TextFieldsConfirmView::EndDialog(int result) {
    m_ended = true;
    m_result = result;
}

void TextFieldsConfirmView::SetText(IConfirmController& controller, int control,
                                    const std::u16string& text) {
    if (control == kIdcExamNumber) {
        if (text != m_examNumber) {
            m_examNumber = text;
            controller.OnExamNumberUpdate();
        }
    } else if (control == kIdcName && m_nameEditable) {
        m_name = text;
    }
}

void TextFieldsConfirmView::TypeText(IConfirmController& controller, int control,
                                     const std::string& text) {
    SetFocus(control);
    const std::u16string units = platform::Utf8ToUtf16(text);
    for (size_t i = 0; i < units.size() && !m_ended; ++i) {
        char32_t c = units[i];
        std::u16string piece(1, units[i]);
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size()) {
            piece.push_back(units[++i]);
            c = 0x10000;  // outside the keys' range: an input-method character
        }
        const unsigned key = VirtualKeyOf(c);
        if (controller.PreTranslateKeyDown(key, false)) {
            continue;
        }
        // The key reaches the focused control, which may have changed meanwhile.
        const int target = m_focus;
        if (target == kIdcExamNumber) {
            if (c >= '0' && c <= '9' && m_examNumber.size() < kExamNumberLimit) {
                SetText(controller, target, m_examNumber + piece);
            }
        } else if (target == kIdcName && m_nameEditable) {
            if (m_name.size() + piece.size() <= kNameLimit) {
                SetText(controller, target, m_name + piece);
            }
        }
    }
}

void TextFieldsConfirmView::PasteText(IConfirmController& controller, int control,
                                      const std::string& text) {
    SetFocus(control);
    if (controller.PreTranslateKeyDown('V', true)) {
        return;
    }
    std::u16string units = platform::Utf8ToUtf16(text);
    if (control == kIdcExamNumber) {
        for (char16_t u : units) {
            if (u < '0' || u > '9') {
                return;  // a number field refuses a paste with other characters
            }
        }
        if (units.size() > kExamNumberLimit) {
            units.resize(kExamNumberLimit);
        }
    } else if (units.size() > kNameLimit) {
        units.resize(kNameLimit);
    }
    SetText(controller, control, units);
}

void TextFieldsConfirmView::ClearField(IConfirmController& controller, int control) {
    SetFocus(control);
    if (controller.PreTranslateKeyDown(vk::kDelete, false)) {
        return;
    }
    SetText(controller, control, u"");
}

void TextFieldsConfirmView::PressKey(IConfirmController& controller, unsigned virtualKey,
                                     bool leftControl) {
    if (controller.PreTranslateKeyDown(virtualKey, leftControl)) {
        return;
    }
    // Standard dialog keys: Escape cancels; Enter presses the default (install) button.
    if (virtualKey == vk::kEscape) {
        controller.OnCancel();
    } else if (virtualKey == vk::kReturn) {
        controller.OnInstallClicked();
    } else if (virtualKey == vk::kTab) {
        m_focus = m_focus == kIdcExamNumber && m_nameEditable ? kIdcName : kIdcExamNumber;
    }
}

}  // namespace ui

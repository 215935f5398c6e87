// The Windows desktop view, linked into the Windows build of the installer only: message
// boxes are the system's own (MessageBoxW), long work pumps the thread's message queue, and
// the wait cursor is the system's. The confirmation dialog has no Win32 view yet, so while
// a console is at hand the console view, which has one, is preferred.
#include <windows.h>
// The installer's own MessageBox (ui/view.h) must keep its name.
#undef MessageBox

#include <memory>
#include <string>

#include "platform/session.h"
#include "platform/text.h"
#include "ui/view.h"
#include "ui/view_select.h"

namespace ui {

namespace {

std::wstring Wide(const std::string& text) {
    const std::u16string units = platform::Utf8ToUtf16(text);
    return std::wstring(units.begin(), units.end());
}

class Win32View : public IView {
public:
    int ShowMessageBox(const std::string& caption, const std::string& text,
                       unsigned flags) override {
        // No owner window: the box is the installer's own top-level window, in the
        // foreground so that an examinee sees it over the desktop.
        return ::MessageBoxW(nullptr, Wide(text).c_str(), Wide(caption).c_str(),
                             flags | MB_SETFOREGROUND);
    }

    void DispatchPendingEvents() override {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }

    void ShowWaitCursor(bool on) override {
        SetCursor(LoadCursorW(nullptr, on ? IDC_WAIT : IDC_ARROW));
    }

    const char* Name() const override { return "desktop"; }
};

std::unique_ptr<IView> MakeWin32View() {
    if (platform::StandardInputIsTerminal()) {
        return nullptr;
    }
    return std::make_unique<Win32View>();
}

// The executable links this file directly (not through a library), so the registration
// runs before main; the maker's storage is a function-local static, ready at any time.
const bool kRegistered = (SetDesktopViewMaker(MakeWin32View), true);

}  // namespace

}  // namespace ui

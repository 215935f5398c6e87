// The Windows desktop view, linked into the Windows build of the installer only: message
// boxes are the system's own (MessageBoxW), long work pumps the thread's message queue, the
// wait cursor is the system's, and the confirmation dialog is the skinned window of
// ui/win32/confirm_dialog.
#include <windows.h>
// The installer's own MessageBox (ui/view.h) must keep its name.
#undef MessageBox

#include <memory>
#include <string>

#include "platform/win32/wide.h"
#include "ui/confirm_view.h"
#include "ui/view.h"
#include "ui/view_select.h"
#include "ui/win32/confirm_dialog.h"
#include "ui/win32/progress_window.h"

namespace ui {

namespace {

using platform::win32::Wide;

class Win32View : public IView {
public:
    int ShowMessageBox(const std::string& caption, const std::string& text,
                       unsigned flags) override {
        // Owned by the installer's active window (the confirmation dialog, when it is up),
        // which stays disabled while the box is shown; in the foreground so that an
        // examinee sees it over the desktop.
        return ::MessageBoxW(GetActiveWindow(), Wide(text).c_str(), Wide(caption).c_str(),
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
        win32::SetWaitCursorShown(on);
        SetCursor(LoadCursorW(nullptr, on ? IDC_WAIT : IDC_ARROW));
    }

    std::unique_ptr<IConfirmView> CreateConfirmView(const ConfirmLook& look) override {
        return win32::MakeWin32ConfirmView(look);
    }

    IProgress& Progress() override { return *m_progress; }

    const char* Name() const override { return "desktop"; }

private:
    std::unique_ptr<IProgress> m_progress = win32::MakeWin32Progress();
};

std::unique_ptr<IView> MakeWin32View() {
    return std::make_unique<Win32View>();
}

// The executable links this file directly (not through a library), so the registration
// runs before main; the maker's storage is a function-local static, ready at any time.
const bool kRegistered = (SetDesktopViewMaker(MakeWin32View), true);

}  // namespace

}  // namespace ui

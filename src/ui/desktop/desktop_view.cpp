// The desktop view.
#include "ui/desktop/desktop_view.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>

#include "ui/confirm_view.h"
#include "ui/desktop/confirm_window.h"
#include "ui/desktop/message_box.h"
#include "ui/desktop/x11_window.h"

namespace ui::desktop {

namespace {

class DesktopView final : public IView {
public:
    int ShowMessageBox(const std::string& caption, const std::string& text,
                       unsigned flags) override {
        return ShowDesktopMessageBox(caption, text, flags);
    }

    void DispatchPendingEvents() override { Fl::check(); }

    void ShowWaitCursor(bool on) override {
        for (Fl_Window* w = Fl::first_window(); w != nullptr; w = Fl::next_window(w)) {
            w->cursor(on ? FL_CURSOR_WAIT : FL_CURSOR_DEFAULT);
        }
        Fl::flush();
    }

    std::unique_ptr<IConfirmView> CreateConfirmView(const ConfirmLook& look) override {
        return MakeDesktopConfirmView(look);
    }

    const char* Name() const override { return "desktop"; }
};

}  // namespace

std::unique_ptr<IView> MakeDesktopView() {
    if (!OpenDisplay()) {
        return nullptr;
    }
    return std::make_unique<DesktopView>();
}

}  // namespace ui::desktop

// Fontconfig keeps the font patterns that Xft asked for until the process ends, and FLTK
// keeps the font set of its XIM input context (XCreateFontSet) as long; neither is ever
// freed. The leak checker of sanitizer builds reads this list, so that it reports our leaks
// and not those lifetime caches; without a sanitizer nothing calls it.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\nleak:XCreateFontSet\n";
}

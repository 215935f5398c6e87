// The desktop view.
#include "ui/desktop/desktop_view.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Progress.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <cstdint>
#include <string>

#include "ui/confirm_view.h"
#include "ui/desktop/confirm_window.h"
#include "ui/desktop/message_box.h"
#include "ui/desktop/x11_window.h"

namespace ui::desktop {

namespace {

constexpr int kProgressWidth = 360;
constexpr int kProgressHeight = 92;
constexpr Fl_Color kProgressFrame = 0x2860B000;  // the dialog picture's frame
constexpr Fl_Color kProgressText = 0x102C7800;   // the dialog buttons' caption
constexpr Fl_Color kProgressBar = 0x3D8BD400;    // the painted ordinal's colour
constexpr Fl_Color kProgressTrough = 0xE2E4E800;

// The progress window's face: white inside a thin frame in the dialog's blue.
class ProgressWindow final : public Fl_Double_Window {
public:
    ProgressWindow() : Fl_Double_Window(kProgressWidth, kProgressHeight) {}

protected:
    void draw() override {
        Fl_Double_Window::draw();
        fl_color(kProgressFrame);
        fl_rect(0, 0, w(), h());
    }
};

// A small borderless window over the confirmation dialog: the step in words, a bar and the
// files done of the total. It shows with the first step and goes when the work ends.
class DesktopProgress final : public IProgress {
public:
    void StepStarted(ProgressStep step, uint64_t total) override {
        Show();
        m_step->copy_label(ProgressStepText(step));
        m_shown = UINT64_MAX;
        Update(0, total);
    }
    void FilesDone(uint64_t done, uint64_t total) override {
        // Redrawn when the bar moves by a pixel, and at the end: a package of thousands of
        // files must not cost thousands of redraws.
        const uint64_t width = kProgressWidth;
        const bool moved =
            total > 0 ? done * width / total != m_shown * width / total : done / 25 != m_shown / 25;
        if (m_window && done != m_shown && (moved || done == total)) {
            Update(done, total);
        }
    }
    void Finished() override {
        if (m_window) {
            m_window->hide();
            m_window.reset();
            Fl::flush();
        }
    }

private:
    void Show() {
        if (m_window) {
            return;
        }
        m_window = std::make_unique<ProgressWindow>();
        m_window->color(FL_WHITE);
        m_window->border(0);
        m_window->xclass("MivoProgress");
        m_window->copy_label(ApplicationName().c_str());
        m_step = new Fl_Box(16, 12, kProgressWidth - 32, 22);  // owned by the window
        m_step->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
        m_step->labelfont(FL_HELVETICA_BOLD);
        m_step->labelsize(13);
        m_step->labelcolor(kProgressText);
        m_bar = new Fl_Progress(16, 40, kProgressWidth - 32, 20);
        m_bar->box(FL_BORDER_BOX);
        m_bar->color(kProgressTrough);
        m_bar->selection_color(kProgressBar);
        m_count = new Fl_Box(16, 62, kProgressWidth - 32, 20);
        m_count->align(FL_ALIGN_RIGHT | FL_ALIGN_INSIDE);
        m_count->labelfont(FL_HELVETICA);
        m_count->labelsize(12);
        m_count->labelcolor(kProgressText);
        m_window->end();
        m_window->set_non_modal();  // stays above the dialog it belongs to
        CentreOnOwner(*m_window);   // the confirmation dialog
        m_window->show();
        SetWindowName(*m_window, ApplicationName());
        m_window->cursor(FL_CURSOR_WAIT);
    }
    void Update(uint64_t done, uint64_t total) {
        if (total > 0) {
            m_bar->minimum(0);
            m_bar->maximum(static_cast<float>(total));
            m_bar->value(static_cast<float>(std::min(done, total)));
            m_count->copy_label(
                (std::to_string(done) + " / " + std::to_string(total) + " 파일").c_str());
        } else {
            m_bar->minimum(0);
            m_bar->maximum(1);
            m_bar->value(0);
            m_count->copy_label((std::to_string(done) + " 파일").c_str());
        }
        m_shown = done;
        m_window->redraw();
        Fl::check();
    }

    std::unique_ptr<ProgressWindow> m_window;
    Fl_Box* m_step = nullptr;  // owned by the window
    Fl_Progress* m_bar = nullptr;
    Fl_Box* m_count = nullptr;
    uint64_t m_shown = 0;  // files done as last drawn
};

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

    IProgress& Progress() override { return m_progress; }

    const char* Name() const override { return "desktop"; }

private:
    DesktopProgress m_progress;
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

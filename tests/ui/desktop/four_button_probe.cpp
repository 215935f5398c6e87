// four_button_probe: shows the install button strip's button twice on a small window at
// (0, 0), the left one enabled at (10, 10), the right one disabled at (180, 10), so that a
// test can look at cells the confirmation dialog never shows (disabled). Each click of the
// enabled button appends a line to the file named by the first argument. Runs until killed.
#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>

#include <cstdio>

#include "ui/confirm_look.h"
#include "ui/desktop/desktop_view.h"
#include "ui/desktop/four_button.h"
#include "ui/desktop/pictures.h"

namespace {

void Clicked(Fl_Widget*, void* data) {
    if (std::FILE* f = std::fopen(static_cast<const char*>(data), "a")) {
        std::fputs("click\n", f);
        std::fclose(f);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || !ui::desktop::MakeDesktopView()) {
        return 2;
    }
    Fl_Double_Window window(0, 0, 350, 50);
    window.xclass("MivoProbe");
    window.color(FL_WHITE);
    ui::desktop::CFourButton2 enabled(10, 10);
    ui::desktop::CFourButton2 disabled(180, 10);
    if (!enabled.LoadButtonImage(ui::kInstallStrip) ||
        !disabled.LoadButtonImage(ui::kInstallStrip)) {
        return 3;
    }
    enabled.callback(Clicked, argv[1]);
    disabled.callback(Clicked, argv[1]);
    disabled.deactivate();
    window.end();
    window.border(0);  // FLTK moves a framed window at (0, 0) clear of its would-be frame
    window.show();
    return Fl::run();
}

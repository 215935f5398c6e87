// confirm_probe: the desktop confirmation dialog with a controller that only records. Each
// click of the install button works for two seconds, dispatching the pending events as the
// installation does; LOG-FILE receives "init", "install", "done", "cancel" and "end".
//   confirm_probe LOG-FILE
#include <unistd.h>

#include <cstdio>
#include <string>

#include "ui/confirm_view.h"
#include "ui/desktop/confirm_window.h"
#include "ui/desktop/desktop_view.h"
#include "ui/view.h"

namespace {

class RecordingController final : public ui::IConfirmController {
public:
    RecordingController(ui::IConfirmView& view, const char* log) : m_view(view), m_log(log) {}

    void OnInitDialog() override {
        Write("init");
        m_view.SetFocus(ui::kIdcExamNumber);
    }
    void OnExamNumberUpdate() override {}
    void OnInstallClicked() override {
        Write("install");
        for (int i = 0; i < 200; ++i) {
            ui::DispatchPendingEvents();
            usleep(10 * 1000);
        }
        Write("done");
    }
    void OnCancel() override {
        Write("cancel");
        m_view.EndDialog(ui::kIdCancel);
    }
    bool PreTranslateKeyDown(unsigned, bool) override { return false; }

    void Write(const char* line) {
        if (std::FILE* f = std::fopen(m_log, "a")) {
            std::fprintf(f, "%s\n", line);
            std::fclose(f);
        }
    }

private:
    ui::IConfirmView& m_view;
    const char* m_log;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        return 2;
    }
    std::unique_ptr<ui::IView> desktop = ui::desktop::MakeDesktopView();
    if (!desktop) {
        return 2;
    }
    ui::SetView(std::move(desktop));
    ui::ConfirmLook look;
    look.title = "confirm probe";
    look.ordinal = 112;
    std::unique_ptr<ui::IConfirmView> view = ui::desktop::MakeDesktopConfirmView(look);
    if (!view) {
        return 3;
    }
    RecordingController controller(*view, argv[1]);
    view->RunModal(controller);
    controller.Write("end");
    return 0;
}

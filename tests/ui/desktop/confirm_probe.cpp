// confirm_probe: the desktop confirmation dialog with a controller that only records. Each
// click of the install button works for two seconds, dispatching the pending events as the
// installation does; LOG-FILE receives "init", "install", "done", "cancel" and "end". With
// the exam number 9 typed, the work shows its progress as an installation does: a backup
// of 120 files, then an extraction of 300 ("backup", "extraction" in the log), four seconds.
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
        if (m_view.FieldText(ui::kIdcExamNumber) == "9") {
            WorkWithProgress();
            Write("done");
            return;
        }
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
    void WorkWithProgress() {
        const ui::ProgressSpan span;
        ui::IProgress& progress = ui::CurrentProgress();
        Write("backup");
        progress.StepStarted(ui::ProgressStep::kBackup, 0);
        for (uint64_t i = 1; i <= 120; ++i) {
            progress.FilesDone(i, 0);
            ui::DispatchPendingEvents();
            usleep(8 * 1000);
        }
        Write("extraction");
        progress.StepStarted(ui::ProgressStep::kExtraction, 300);
        for (uint64_t i = 1; i <= 300; ++i) {
            progress.FilesDone(i, 300);
            ui::DispatchPendingEvents();
            usleep(10 * 1000);
        }
    }

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

// dialog_probe: shows the Windows confirmation dialog with a controller that only records
// what the dialog reports, so that a test can look at the window and drive it.
//   dialog_probe LOG-FILE EXAM-KIND ORDINAL
// Each event is appended to LOG-FILE as a line: "init", "update <exam number>",
// "install <exam number>|<name>", "key <code> <left control>", "cancel", "end <result>".
// The exam number field takes a valid-looking number (eight digits) as the real dialog
// does: the name field becomes editable and takes the focus. The name field swallows
// digits, as the real filter does, so the probe shows the dialog's key path end to end.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ui/confirm_look.h"
#include "ui/confirm_view.h"
#include "ui/view.h"
#include "ui/win32/confirm_dialog.h"

namespace {

class ProbeController final : public ui::IConfirmController {
public:
    ProbeController(ui::IConfirmView& view, const char* log) : m_view(view), m_log(log) {}

    void OnInitDialog() override {
        Write("init");
        m_view.UseNativeInput();
        m_view.SetFocus(ui::kIdcExamNumber);
    }
    void OnExamNumberUpdate() override {
        const std::string number = m_view.FieldText(ui::kIdcExamNumber);
        Write("update " + number);
        if (number.size() == 8) {
            m_view.MakeNameEditable();
            m_view.SetFocus(ui::kIdcName);
        }
    }
    void OnInstallClicked() override {
        Write("install " + m_view.FieldText(ui::kIdcExamNumber) + "|" +
              m_view.FieldText(ui::kIdcName));
    }
    void OnCancel() override {
        Write("cancel");
        m_view.EndDialog(ui::kIdCancel);
    }
    bool PreTranslateKeyDown(unsigned key, bool leftControl) override {
        Write("key " + std::to_string(key) + " " + (leftControl ? "1" : "0"));
        return m_view.FocusedControl() == ui::kIdcName && key >= '0' && key <= '9';
    }

    void Write(const std::string& line) {
        if (std::FILE* f = std::fopen(m_log, "ab")) {
            std::fprintf(f, "%s\n", line.c_str());
            std::fclose(f);
        }
    }

private:
    ui::IConfirmView& m_view;
    const char* m_log;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: dialog_probe LOG-FILE EXAM-KIND ORDINAL\n");
        return 2;
    }
    ui::ConfirmLook look;
    look.examKind = std::atoi(argv[2]);
    look.ordinal = std::atoi(argv[3]);
    look.title = "dialog probe " + std::string(argv[3]);
    std::unique_ptr<ui::IConfirmView> view = ui::win32::MakeWin32ConfirmView(look);
    if (!view) {
        return 3;
    }
    ProbeController controller(*view, argv[1]);
    const int result = view->RunModal(controller);
    controller.Write("end " + std::to_string(result));
    return 0;
}

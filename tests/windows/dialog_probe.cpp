// dialog_probe: shows the Windows confirmation dialog with a controller that only records
// what the dialog reports, so that a test can look at the window and drive it.
//   dialog_probe LOG-FILE EXAM-KIND ORDINAL [alphanumeric]
// With "alphanumeric" the input method is put into alphanumeric mode before the dialog
// initialises, as an English keyboard layout leaves it.
// Each event is appended to LOG-FILE as a line: "init", "ime before|after <conversion mode>
// <sentence mode>" around the switch to Hangul input, "update <exam number>",
// "install <exam number>|<name>", "key <code> <left control>", "cancel", "end <result>".
// The exam number field takes a valid-looking number (eight digits) as the real dialog
// does: the name field becomes editable and takes the focus. The name field swallows
// digits, as the real filter does, so the probe shows the dialog's key path end to end.
// Installing with the name "wait" works for three seconds under the wait cursor and then
// notes the cursor the pointer's moves left ("working", "cursor wait|other"); with the name
// "disable" it disables the install button ("disabled"); with the name "progress" it shows
// the progress window of an installation: a backup of 120 files, then an extraction of 300
// that holds for two seconds half-way ("progress half") and ends with "progress gone" once
// the window has been destroyed.
#include <windows.h>
// After <windows.h>, whose types it uses.
#include <imm.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "ui/confirm_look.h"
#include "ui/confirm_view.h"
#include "ui/view.h"
#include "ui/win32/confirm_dialog.h"
#include "ui/win32/progress_window.h"

namespace {

class ProbeController final : public ui::IConfirmController {
public:
    ProbeController(ui::IConfirmView& view, const char* log, std::wstring title,
                    bool startAlphanumeric)
        : m_view(view),
          m_log(log),
          m_title(std::move(title)),
          m_startAlphanumeric(startAlphanumeric) {}

    void OnInitDialog() override {
        Write("init");
        if (m_startAlphanumeric) {
            SetAlphanumeric();
        }
        Write("ime before " + ConversionMode());
        m_view.UseNativeInput();
        Write("ime after " + ConversionMode());
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
        const std::string name = m_view.FieldText(ui::kIdcName);
        Write("install " + m_view.FieldText(ui::kIdcExamNumber) + "|" + name);
        if (name == "wait") {
            WorkUnderTheWaitCursor();
        } else if (name == "progress") {
            WorkWithProgress();
        } else if (name == "disable") {
            // A disabled button, which the installer never shows: for its cell.
            EnableWindow(GetDlgItem(FindWindowW(nullptr, m_title.c_str()), ui::kIdcInstall), FALSE);
            Write("disabled");
        }
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
    static void Pump(DWORD milliseconds) {
        const DWORD start = GetTickCount();
        do {
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
            Sleep(5);
        } while (GetTickCount() - start < milliseconds);
    }

    void WorkWithProgress() {
        std::unique_ptr<ui::IProgress> progress = ui::win32::MakeWin32Progress();
        progress->StepStarted(ui::ProgressStep::kBackup, 0);
        for (uint64_t i = 1; i <= 120; ++i) {
            progress->FilesDone(i, 0);
            Pump(5);
        }
        progress->StepStarted(ui::ProgressStep::kExtraction, 300);
        for (uint64_t i = 1; i <= 300; ++i) {
            progress->FilesDone(i, 300);
            Pump(5);
            if (i == 150) {
                Write("progress half");
                Pump(2000);
            }
        }
        progress->Finished();
        Write(FindWindowW(L"MivoProgress", nullptr) == nullptr ? "progress gone"
                                                               : "progress stays");
    }

    // Long work as the installation does it: the wait cursor up, the window's messages
    // dispatched now and then. After three seconds (the pointer moved meanwhile) it notes
    // which cursor the moves left: "cursor wait" or "cursor other".
    void WorkUnderTheWaitCursor() {
        ui::win32::SetWaitCursorShown(true);
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        Write("working");
        const DWORD start = GetTickCount();
        while (GetTickCount() - start < 3000) {
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
            Sleep(10);
        }
        Write(GetCursor() == LoadCursorW(nullptr, IDC_WAIT) ? "cursor wait" : "cursor other");
        ui::win32::SetWaitCursorShown(false);
        SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    }

    // The input method's conversion mode of the dialog (its window has its title by now),
    // or "none" without an input context.
    std::string ConversionMode() const {
        HWND dialog = FindWindowW(nullptr, m_title.c_str());
        HIMC context = ImmGetContext(dialog);
        if (context == nullptr) {
            return "none";
        }
        DWORD conversion = 0;
        DWORD sentence = 0;
        const bool known = ImmGetConversionStatus(context, &conversion, &sentence) != FALSE;
        ImmReleaseContext(dialog, context);
        return known ? std::to_string(conversion) + " " + std::to_string(sentence) : "unknown";
    }

    // Puts the input method into alphanumeric mode, as an examinee's English layout does.
    void SetAlphanumeric() const {
        HWND dialog = FindWindowW(nullptr, m_title.c_str());
        if (HIMC context = ImmGetContext(dialog)) {
            DWORD conversion = 0;
            DWORD sentence = 0;
            ImmGetConversionStatus(context, &conversion, &sentence);
            ImmSetConversionStatus(context, 0, sentence);
            ImmReleaseContext(dialog, context);
        }
    }

    ui::IConfirmView& m_view;
    const char* m_log;
    std::wstring m_title;
    bool m_startAlphanumeric;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: dialog_probe LOG-FILE EXAM-KIND ORDINAL [alphanumeric]\n");
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
    ProbeController controller(*view, argv[1], std::wstring(look.title.begin(), look.title.end()),
                               argc > 4 && std::string(argv[4]) == "alphanumeric");
    const int result = view->RunModal(controller);
    controller.Write("end " + std::to_string(result));
    return 0;
}

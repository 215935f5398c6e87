// The console view. An OK box waits for Enter; a yes/no box for 예/y or 아니요/n, asking
// again on anything else. When the input ends, an OK box is answered as Escape answers it
// (IDOK); a yes/no box, which Escape cannot close, ends the run with a message.
#include "ui/console_view.h"

#include <algorithm>
#include <istream>
#include <ostream>
#include <string>

#include "platform/process.h"
#include "platform/session.h"
#include "platform/text.h"
#include "ui/text_fields_view.h"

namespace ui {

namespace {

std::string Lower(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return s;
}

std::string Trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) {
        return "";
    }
    return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

constexpr const char* kCancelled = "취소되었습니다. 설치하지 않고 끝냅니다.\n";

// The characters of `typed` that did not reach `kept` (which holds the others in order): what
// the name field's key filter swallowed, or what its limit cut off.
std::string DroppedCharacters(const std::string& typed, const std::string& kept) {
    const std::u16string all = platform::Utf8ToUtf16(typed);
    const std::u16string rest = platform::Utf8ToUtf16(kept);
    std::u16string dropped;
    size_t k = 0;
    for (char16_t unit : all) {
        if (k < rest.size() && rest[k] == unit) {
            ++k;
        } else {
            dropped.push_back(unit);
        }
    }
    return platform::Utf16ToUtf8(dropped);
}

// The confirmation dialog in a terminal: the number is asked first (typed key by key, so
// that a wrong eighth digit is refused at once), then the name, then the install.
class ConsoleConfirmView final : public TextFieldsConfirmView {
public:
    ConsoleConfirmView(std::istream& in, std::ostream& out, ConfirmLook look)
        : m_in(in), m_out(out), m_look(std::move(look)) {}

    int RunModal(IConfirmController& controller) override {
        m_out << "\n== " << m_look.title << " ==\n"
              << "수험번호와 이름을 입력한 뒤 설치합니다. (q: 취소, r: 수험번호 다시 입력, l: "
                 "문제 목록)\n";
        controller.OnInitDialog();
        while (!Ended()) {
            const bool askNumber = FocusedControl() != kIdcName || !IsNameEditable();
            m_out << (askNumber ? "수험번호 (8자리) > " : "이름 > ") << std::flush;
            std::string line;
            if (!std::getline(m_in, line)) {
                m_out << "\n";
                controller.OnCancel();
                break;
            }
            line = Trim(line);
            if (Command(controller, line)) {
                continue;
            }
            if (askNumber) {
                ClearField(controller, kIdcExamNumber);
                TypeText(controller, kIdcExamNumber, line);
                // Enter after a number that is not eight digits long presses the default
                // button, which tells what is wrong (eight digits were judged as typed).
                if (FocusedControl() != kIdcName &&
                    platform::Utf16Length(FieldText(kIdcExamNumber)) != 8) {
                    PressKey(controller, vk::kReturn, false);
                }
                continue;
            }
            ClearField(controller, kIdcName);
            TypeText(controller, kIdcName, line);
            const std::string dropped = DroppedCharacters(line, FieldText(kIdcName));
            if (!dropped.empty()) {
                // The field's key filter swallows digits and signs, as the window's does;
                // in a terminal the examinee would not see it happen.
                m_out << "이름에 넣을 수 없는 글자는 빠졌습니다: " << dropped << "\n";
            }
            m_out << "입력: 수험번호 " << FieldText(kIdcExamNumber) << ", 이름 "
                  << FieldText(kIdcName) << "\n";
            ConfirmInstall(controller);
        }
        if (Result() != kIdOk) {
            m_out << kCancelled << std::flush;
        }
        return Result();
    }

private:
    // Only an empty line installs: the number typed once more, or any other text, must not
    // start the checks by accident.
    void ConfirmInstall(IConfirmController& controller) {
        for (;;) {
            m_out << "설치하려면 Enter > " << std::flush;
            std::string confirm;
            if (!std::getline(m_in, confirm)) {
                controller.OnCancel();
                return;
            }
            confirm = Trim(confirm);
            if (confirm.empty()) {
                controller.OnInstallClicked();
                return;
            }
            if (Command(controller, confirm)) {
                return;
            }
            m_out << "Enter만 누르십시오. (q: 취소, r: 수험번호 다시 입력, l: 문제 목록)\n";
        }
    }

    // The one-letter commands; true when `line` was one.
    bool Command(IConfirmController& controller, const std::string& line) {
        if (line == "q") {
            controller.OnCancel();
        } else if (line == "r") {
            SetFocus(kIdcExamNumber);
        } else if (line == "l") {
            PressKey(controller, 'L', true);
        } else {
            return false;
        }
        return true;
    }

    std::istream& m_in;
    std::ostream& m_out;
    ConfirmLook m_look;
};

// Progress as one line rewritten in place: the step, a bar and the files done.
class ConsoleProgress final : public IProgress {
public:
    explicit ConsoleProgress(std::ostream& out) : m_out(out) {}
    void StepStarted(ProgressStep step, uint64_t total) override {
        EndLine();
        m_step = ProgressStepText(step);
        m_total = total;
        m_done = 0;
        Draw();
    }
    void FilesDone(uint64_t done, uint64_t total) override {
        // Redrawn when the shown percentage changes (or every 25 files when the step does not
        // count them), and at the end: thousands of files need not mean thousands of lines.
        m_done = done;
        m_total = total;
        const bool changed =
            total > 0 ? done * 100 / total != m_shown * 100 / total : done / 25 != m_shown / 25;
        if (m_open && done != m_shown && (changed || done == total)) {
            Draw();
        }
    }
    void Finished() override { EndLine(); }
    /// True while a bar line waits for its end.
    bool LineOpen() const { return m_open; }

private:
    static constexpr uint64_t kCells = 30;

    void Draw() {
        m_out << "\r" << m_step;
        if (m_total > 0) {
            const uint64_t filled = std::min(m_done, m_total) * kCells / m_total;
            m_out << " [" << std::string(filled, '#') << std::string(kCells - filled, '-') << "] "
                  << m_done << "/" << m_total;
        } else {
            m_out << " ... " << m_done << "개";
        }
        m_out << std::flush;
        m_shown = m_done;
        m_open = true;
    }
    // The line ends with the step's last count.
    void EndLine() {
        if (m_open) {
            if (m_done != m_shown) {
                Draw();
            }
            m_out << "\n" << std::flush;
            m_open = false;
        }
    }

    std::ostream& m_out;
    std::string m_step;
    uint64_t m_total = 0;  // files of the current step, 0 when not counted
    uint64_t m_done = 0;   // files done as last reported
    uint64_t m_shown = 0;  // files done as last drawn
    bool m_open = false;   // a bar line waits for its end
};

class ConsoleView final : public IView {
public:
    ConsoleView(std::istream& in, std::ostream& out) : m_in(in), m_out(out), m_progress(out) {}

    int ShowMessageBox(const std::string& caption, const std::string& text,
                       unsigned flags) override {
        const bool yesNo = (flags & 0x0F) == kMbYesNo;
        const unsigned icon = flags & 0xF0;
        std::string shown;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\r') {
                continue;
            }
            shown.push_back(text[i]);
        }
        m_out << "\n== " << caption << " ==\n";
        if (icon == kMbIconWarning) {
            m_out << "[경고] ";
        } else if (icon == kMbIconInformation) {
            m_out << "[정보] ";
        }
        m_out << shown << "\n";
        for (;;) {
            m_out << (yesNo ? "예(Y) / 아니요(N) > " : "[확인] Enter > ") << std::flush;
            std::string line;
            if (!std::getline(m_in, line)) {
                m_out << "\n";
                if (!yesNo) {
                    return kIdOk;
                }
                platform::WriteStandardError(
                    "mivo: the input ended while a yes/no question was open; the run ends here.");
                platform::ExitProcessNow(kNoAnswerExitCode);
            }
            const std::string answer = Lower(Trim(line));
            if (!yesNo) {
                return kIdOk;
            }
            if (answer == "y" || answer == "yes" || answer == "예") {
                return kIdYes;
            }
            if (answer == "n" || answer == "no" || answer == "아니요" || answer == "아니오") {
                // The installer asks yes/no only where No ends the run without installing.
                m_out << kCancelled << std::flush;
                return kIdNo;
            }
        }
    }
    void DispatchPendingEvents() override {}
    void ShowWaitCursor(bool on) override {
        // Not in the middle of a bar line: the work it tells of is being shown already.
        if (on && !m_progress.LineOpen()) {
            m_out << "잠시 기다려 주십시오...\n" << std::flush;
        }
    }
    std::unique_ptr<IConfirmView> CreateConfirmView(const ConfirmLook& look) override {
        return std::make_unique<ConsoleConfirmView>(m_in, m_out, look);
    }
    IProgress& Progress() override { return m_progress; }
    const char* Name() const override { return "console"; }

private:
    std::istream& m_in;
    std::ostream& m_out;
    ConsoleProgress m_progress;
};

}  // namespace

std::unique_ptr<IView> MakeConsoleView(std::istream& in, std::ostream& out) {
    return std::make_unique<ConsoleView>(in, out);
}

}  // namespace ui

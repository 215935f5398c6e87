// The scripted view. A message box takes one line of the user script:
//   ok | yes | no               the button pressed
//   ... wait-for FILE           the box stays up until FILE (relative to the machine
//                               folder) exists, then the button is pressed
// The confirmation dialog takes lines until it ends:
//   type exam-number TEXT       click into the field and type TEXT key by key
//   type name TEXT
//   paste name TEXT             replace the field's text with TEXT (Ctrl+V)
//   clear exam-number | clear name
//   key ctrl-l | key CODE       press a key (virtual-key code, decimal or 0x..) in the
//                               focused control
//   press install | press cancel | press exit
#include "ui/scripted_view.h"

#include <sstream>

#include "ui/text_fields_view.h"

#include "platform/process.h"
#include "platform/session.h"
#include "platform/text.h"

namespace ui {

namespace {

constexpr uint32_t kWaitForLimitMs = 120 * 1000;

[[noreturn]] void EndDialogRun(const std::string& why) {
    platform::RecordScreen("dialog view=scripted ended: " + why);
    platform::WriteStandardError("mivo: " + why +
                                 " in the confirmation dialog; the run ends here.");
    platform::ExitProcessNow(kNoAnswerExitCode);
}

// The rest of a line after its first `words` words.
std::string RestAfterWords(const std::string& line, int words) {
    size_t pos = 0;
    for (int i = 0; i < words; ++i) {
        pos = line.find_first_not_of(" \t", pos);
        pos = line.find_first_of(" \t", pos == std::string::npos ? line.size() : pos);
        if (pos == std::string::npos) {
            return "";
        }
    }
    return pos + 1 <= line.size() ? line.substr(pos + 1) : "";
}

int ControlOfWord(const std::string& word) {
    if (word == "exam-number") {
        return kIdcExamNumber;
    }
    if (word == "name") {
        return kIdcName;
    }
    return 0;
}

class ScriptedConfirmView final : public TextFieldsConfirmView {
public:
    explicit ScriptedConfirmView(ConfirmLook look) : m_look(std::move(look)) {}

    int RunModal(IConfirmController& controller) override {
        platform::RecordScreen("dialog view=scripted title=" + EscapeForLog(m_look.title) +
                               " opened");
        controller.OnInitDialog();
        while (!Ended()) {
            std::string line;
            if (platform::NextScriptedAnswer(line) != platform::ScriptAnswer::kAnswer) {
                EndDialogRun("the user script has no answer left");
            }
            Perform(controller, line);
        }
        platform::RecordScreen(platform::StringPrintf(
            "dialog view=scripted title=%s closed exam-number=%s name=%s result=%s",
            EscapeForLog(m_look.title).c_str(), EscapeForLog(FieldText(kIdcExamNumber)).c_str(),
            EscapeForLog(FieldText(kIdcName)).c_str(), Result() == kIdOk ? "IDOK" : "IDCANCEL"));
        return Result();
    }

private:
    void Perform(IConfirmController& controller, const std::string& line) {
        std::istringstream words(line);
        std::string verb;
        std::string object;
        words >> verb >> object;
        const int control = ControlOfWord(object);
        if (verb == "type" && control != 0) {
            TypeText(controller, control, RestAfterWords(line, 2));
        } else if (verb == "paste" && control != 0) {
            PasteText(controller, control, RestAfterWords(line, 2));
        } else if (verb == "clear" && control != 0) {
            ClearField(controller, control);
        } else if (verb == "key" && object == "ctrl-l") {
            PressKey(controller, 'L', true);
        } else if (verb == "key" && !object.empty()) {
            PressKey(controller, static_cast<unsigned>(std::stoul(object, nullptr, 0)), false);
        } else if (verb == "press" && object == "install") {
            controller.OnInstallClicked();
        } else if (verb == "press" && (object == "cancel" || object == "exit")) {
            controller.OnCancel();
        } else {
            EndDialogRun("the user script line \"" + line + "\" is not understood");
        }
    }

    ConfirmLook m_look;
};

[[noreturn]] void EndRun(const std::string& caption, const std::string& text, unsigned flags,
                         const std::string& why) {
    platform::RecordScreen(platform::StringPrintf(
        "messagebox view=scripted caption=%s flags=0x%02x text=%s answer=none (%s)",
        EscapeForLog(caption).c_str(), flags, EscapeForLog(text).c_str(), why.c_str()));
    platform::WriteStandardError("mivo: " + why + " at the message box " + EscapeForLog(text) +
                                 "; the run ends here.");
    platform::ExitProcessNow(kNoAnswerExitCode);
}

// Progress in the screen log: one line as each step begins, none per file, so that a
// script's reader sees which steps a run went through; with the number of files where the
// step knows it beforehand (the extraction), without one where it does not.
class ScriptedProgress final : public IProgress {
public:
    void StepStarted(ProgressStep step, uint64_t total) override {
        std::string line = platform::StringPrintf("progress view=scripted step=%s text=%s",
                                                  ProgressStepName(step),
                                                  EscapeForLog(ProgressStepText(step)).c_str());
        if (total != 0) {
            line += platform::StringPrintf(" files=%llu", static_cast<unsigned long long>(total));
        }
        platform::RecordScreen(line);
    }
    void FilesDone(uint64_t, uint64_t) override {}
    void Finished() override {}
};

class ScriptedView final : public IView {
public:
    int ShowMessageBox(const std::string& caption, const std::string& text,
                       unsigned flags) override {
        std::string line;
        const platform::ScriptAnswer state = platform::NextScriptedAnswer(line);
        if (state != platform::ScriptAnswer::kAnswer) {
            EndRun(caption, text, flags, "the user script has no answer left");
        }
        std::istringstream words(line);
        std::string button;
        std::string keyword;
        std::string file;
        words >> button >> keyword >> file;
        const bool yesNo = (flags & 0x0F) == kMbYesNo;
        int answer = 0;
        if (button == "ok" && !yesNo) {
            answer = kIdOk;
        } else if (button == "yes" && yesNo) {
            answer = kIdYes;
        } else if (button == "no" && yesNo) {
            answer = kIdNo;
        } else {
            EndRun(caption, text, flags,
                   "the user script answers \"" + line + "\", which this box (" +
                       (yesNo ? "yes/no" : "ok") + ") does not offer");
        }
        if (keyword == "wait-for") {
            if (file.empty() || !platform::WaitForMachineFile(file, kWaitForLimitMs)) {
                EndRun(caption, text, flags, "the user script waited in vain for " + file);
            }
        } else if (!keyword.empty()) {
            EndRun(caption, text, flags, "the user script line \"" + line + "\" is not understood");
        }
        return answer;
    }
    void DispatchPendingEvents() override {}
    void ShowWaitCursor(bool) override {}
    std::unique_ptr<IConfirmView> CreateConfirmView(const ConfirmLook& look) override {
        return std::make_unique<ScriptedConfirmView>(look);
    }
    IProgress& Progress() override { return m_progress; }
    const char* Name() const override { return "scripted"; }

private:
    ScriptedProgress m_progress;
};

}  // namespace

std::unique_ptr<IView> MakeScriptedView() {
    return std::make_unique<ScriptedView>();
}

}  // namespace ui

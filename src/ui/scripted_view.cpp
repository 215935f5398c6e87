// The scripted view. A message box takes one line of the user script:
//   ok | yes | no | cancel      the button pressed
//   ... wait-for FILE           the box stays up until FILE (relative to the machine
//                               folder) exists, then the button is pressed
#include "ui/scripted_view.h"

#include <sstream>

#include "platform/process.h"
#include "platform/session.h"
#include "platform/text.h"

namespace ui {

namespace {

constexpr uint32_t kWaitForLimitMs = 120 * 1000;

[[noreturn]] void EndRun(const std::string& caption, const std::string& text, unsigned flags,
                         const std::string& why) {
    platform::RecordScreen(platform::StringPrintf(
        "messagebox view=scripted caption=%s flags=0x%02x text=%s answer=none (%s)",
        EscapeForLog(caption).c_str(), flags, EscapeForLog(text).c_str(), why.c_str()));
    platform::WriteStandardError("mivo: " + why + " at the message box " + EscapeForLog(text) +
                                 "; the run ends here.");
    platform::ExitProcessNow(kNoAnswerExitCode);
}

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
    const char* Name() const override { return "scripted"; }
};

}  // namespace

std::unique_ptr<IView> MakeScriptedView() {
    return std::make_unique<ScriptedView>();
}

}  // namespace ui

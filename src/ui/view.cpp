// The view in use, the application name and the message box with its screen-log record.
#include "ui/view.h"

#include "platform/process.h"
#include "platform/session.h"
#include "platform/text.h"
#include "ui/confirm_view.h"

namespace ui {

namespace {

// Before a view is set there is no screen: every box "cannot be shown" (result 0).
class NoView final : public IView {
public:
    int ShowMessageBox(const std::string&, const std::string&, unsigned) override { return 0; }
    void DispatchPendingEvents() override {}
    void ShowWaitCursor(bool) override {}
    const char* Name() const override { return "none"; }
};

std::unique_ptr<IView>& ViewSlot() {
    static std::unique_ptr<IView> view = std::make_unique<NoView>();
    return view;
}

const char* AnswerName(int answer) {
    switch (answer) {
        case kIdOk:
            return "IDOK";
        case kIdCancel:
            return "IDCANCEL";
        case kIdYes:
            return "IDYES";
        case kIdNo:
            return "IDNO";
        default:
            return "none";
    }
}

}  // namespace

std::unique_ptr<IConfirmView> IView::CreateConfirmView(const ConfirmLook&) {
    return nullptr;
}

IProgress& IView::Progress() {
    // A view without a progress display: the wait cursor alone tells of the work.
    class NoProgress final : public IProgress {
    public:
        void StepStarted(ProgressStep, uint64_t) override {}
        void FilesDone(uint64_t, uint64_t) override {}
        void Finished() override {}
    };
    static NoProgress none;
    return none;
}

IProgress& CurrentProgress() {
    return CurrentView().Progress();
}

const char* ProgressStepText(ProgressStep step) {
    switch (step) {
        case ProgressStep::kBackup:
            return "이전 설치 백업 중";
        case ProgressStep::kRemoval:
            return "이전 설치 삭제 중";
        case ProgressStep::kExtraction:
            return "문제 파일 설치 중";
    }
    return "";
}

const char* ProgressStepName(ProgressStep step) {
    switch (step) {
        case ProgressStep::kBackup:
            return "backup";
        case ProgressStep::kRemoval:
            return "removal";
        case ProgressStep::kExtraction:
            return "extraction";
    }
    return "";
}

void SetView(std::unique_ptr<IView> view) {
    ViewSlot() = view ? std::move(view) : std::make_unique<NoView>();
}

IView& CurrentView() {
    return *ViewSlot();
}

std::string ApplicationName() {
    std::string path = platform::ModulePath();
    const auto slash = path.find_last_of("\\/");
    if (slash != std::string::npos) {
        path = path.substr(slash + 1);
    }
    const auto dot = path.rfind('.');
    if (dot != std::string::npos && dot > 0) {
        path = path.substr(0, dot);
    }
    return path;
}

std::string EscapeForLog(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
            case '\r':
                out += "\\r";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            default:
                out.push_back(c);
        }
    }
    return out + "\"";
}

int MessageBoxWithCaption(const std::string& caption, const std::string& text, unsigned flags) {
    const int answer = CurrentView().ShowMessageBox(caption, text, flags);
    platform::RecordScreen(platform::StringPrintf(
        "messagebox view=%s caption=%s flags=0x%02x text=%s answer=%s", CurrentView().Name(),
        EscapeForLog(caption).c_str(), flags, EscapeForLog(text).c_str(), AnswerName(answer)));
    return answer;
}

int MessageBox(const std::string& text, unsigned flags) {
    return MessageBoxWithCaption(ApplicationName(), text, flags);
}

void DispatchPendingEvents() {
    CurrentView().DispatchPendingEvents();
}

std::unique_ptr<IConfirmView> MakeConfirmView(const ConfirmLook& look) {
    return CurrentView().CreateConfirmView(look);
}

}  // namespace ui

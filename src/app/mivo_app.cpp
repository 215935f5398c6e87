// Start-up: the instance guard, the main-program guard, the component check, then the main
// dialog. All three refusals come before anything on the machine has been changed.
#include "app/mivo_app.h"

#include "app/prerequisites.h"
#include "install/mivo_dlg.h"
#include "platform/errors.h"
#include "platform/process.h"
#include "platform/session.h"
#include "platform/text.h"
#include "ui/view.h"

namespace {

constexpr const char* kInstanceMutex = "VemraExamMivo";

}  // namespace

bool CMivoApp::InitInstance() {
    // The installer's own marker is held until the process ends, as its handle is never
    // closed.
    platform::MutexHandle instance = platform::CreateNamedMutex(kInstanceMutex);
    if (platform::LastError() == platform::kErrorAlreadyExists) {
        ui::MessageBox("Mivo 베므라 문제설치 프로그램이 이미 실행되어 있습니다. ", ui::kMbOk);
        return false;
    }
    instance.Leak();
    // The only installer on the machine: a user script's answers start at its first line,
    // whatever an earlier run took of them.
    platform::RestartUserScript();

    // The main program's marker is only probed: closed at once, so that a main program
    // started later can take it as its own.
    platform::MutexHandle probe = platform::CreateNamedMutex(kMainProgramMutex);
    if (platform::LastError() == platform::kErrorAlreadyExists) {
        ui::MessageBox(
            platform::StringPrintf("%s 메인프로그램이 실행되어 있습니다.\r\n메인 프로그램 "
                                   "종료후 다시 설치하여 주십시요.",
                                   kProductName),
            ui::kMbOk);
        return false;
    }
    probe.Close();

    if (!CheckMainProgramComponents()) {
        ui::MessageBox(
            "Vemra 프로그램 실행시 필요한 중요파일의 버전이 낮습니다.\n\nVemra 프로그램을 "
            "최신버전으로 다시 재설치하시거나 \n개발사에 문의 하시기바랍니다.",
            ui::kMbOk);
        return false;
    }

    CMivoDlg dialog;
    dialog.DoModal();
    return false;
}

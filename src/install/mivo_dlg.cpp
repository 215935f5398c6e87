// The installer's main flow. So far: the three tests of the main program that may end the
// process before anything is read or changed.
#include "install/mivo_dlg.h"

#include "app/prerequisites.h"
#include "platform/process.h"
#include "platform/text.h"
#include "ui/view.h"

int CMivoDlg::DoModal() {
    OnInitDialog();
    return ui::kIdCancel;  // closed by its own close request
}

bool CMivoDlg::OnInitDialog() {
    if (!IsMainProgramInstalled()) {
        ui::MessageBox(platform::StringPrintf("%s 프로그램을 설치해주세요.", kProductName),
                       ui::kMbIconInformation);
        platform::ExitProcessNow(0);
    }
    if (!IsMainProgramVersionSufficient()) {
        ui::MessageBox("최신버전의 프로그램을 설치한후에 다시 실행해주세요.",
                       ui::kMbIconInformation);
        platform::ExitProcessNow(0);
    }
    if (!IsPackingDateCurrent()) {
        // Only a box that could not be shown at all lets the flow go on.
        if (ui::MessageBox("Vemra 프로그램이 최신버전이 아닙니다.\n최신버전의 프로그램을 "
                           "재설치한후에 다시 실행해주세요.\n\n",
                           ui::kMbIconWarning) != 0) {
            platform::ExitProcessNow(0);
        }
    }
    return true;
}

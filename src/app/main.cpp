// The installer's entry point: make the platform and a view ready, then run the
// application object.
#include "app/mivo_app.h"
#include "db/sqlite_db.h"
#include "fileutil/folder_tree.h"
#include "platform/session.h"
#include "platform/startup.h"
#include "ui/view.h"
#include "ui/view_select.h"

int main() {
    std::string problem;
    if (!platform::StartUp(problem)) {
        platform::WriteStandardError("mivo: " + problem);
        return 2;
    }
    if (!ui::ChooseView(problem)) {
        platform::WriteStandardError(problem);
        return 2;
    }
    // The layers below the user interface keep the windows alive through the view chosen.
    SetMessagePump(ui::DispatchPendingEvents);
    SetWaitMessagePump(ui::DispatchPendingEvents);
    CMivoApp app;
    app.InitInstance();
    return 0;
}

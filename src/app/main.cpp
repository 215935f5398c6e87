// The installer's entry point: make the platform and a view ready, then run the
// application object.
#include "app/mivo_app.h"
#include "platform/session.h"
#include "platform/startup.h"
#include "ui/desktop/desktop_view.h"
#include "ui/view_select.h"

int main() {
    std::string problem;
    if (!platform::StartUp(problem)) {
        platform::WriteStandardError("mivo: " + problem);
        return 2;
    }
    ui::SetDesktopViewMaker(ui::desktop::MakeDesktopView);
    if (!ui::ChooseView(problem)) {
        platform::WriteStandardError(problem);
        return 2;
    }
    CMivoApp app;
    app.InitInstance();
    return 0;
}

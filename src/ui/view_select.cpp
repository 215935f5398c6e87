// Choice of the view for a run.
#include "ui/view_select.h"

#include <iostream>

#include "platform/session.h"
#include "ui/console_view.h"
#include "ui/scripted_view.h"

namespace ui {

namespace {

DesktopViewMaker& DesktopMaker() {
    static DesktopViewMaker maker;
    return maker;
}

}  // namespace

void SetDesktopViewMaker(DesktopViewMaker maker) {
    DesktopMaker() = std::move(maker);
}

bool ChooseView(std::string& problem) {
    if (platform::HasUserScript()) {
        SetView(MakeScriptedView());
        return true;
    }
    if (DesktopMaker()) {
        if (std::unique_ptr<IView> desktop = DesktopMaker()()) {
            SetView(std::move(desktop));
            return true;
        }
    }
    if (platform::StandardInputIsTerminal()) {
        SetView(MakeConsoleView(std::cin, std::cout));
        return true;
    }
    problem =
        "mivo cannot show its questions: the machine names no user script, no display can be "
        "opened, and standard input is not a terminal. Run it from a terminal, on a desktop, or "
        "name a script under [user] in machine.ini.";
    return false;
}

}  // namespace ui

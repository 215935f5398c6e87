// Picks the view a run of the installer uses: the scripted user when the machine names a
// script, else the desktop when a display opens, else the console when a person is at a
// terminal.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "ui/view.h"

namespace ui {

/// A desktop view maker: answers null when no display can be opened.
using DesktopViewMaker = std::function<std::unique_ptr<IView>()>;

/// Registers the desktop view of this build (none until a toolkit is linked in).
void SetDesktopViewMaker(DesktopViewMaker maker);

/// Installs the view for this run; false with a message for the user when none fits.
bool ChooseView(std::string& problem);

}  // namespace ui

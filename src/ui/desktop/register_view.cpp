// Registers the FLTK desktop view with the view selection when the installer starts.
#include "ui/desktop/desktop_view.h"
#include "ui/view_select.h"

namespace {

const bool kRegistered = (ui::SetDesktopViewMaker(ui::desktop::MakeDesktopView), true);

}  // namespace

// The Linux desktop view (FLTK 1.3 on X11): message boxes, the wait cursor, the dispatch of
// pending window events, and the skinned confirmation dialog.
#pragma once

#include <memory>

#include "ui/view.h"

namespace ui::desktop {

/// The desktop view; null when no display can be opened (DISPLAY unset or unreachable).
std::unique_ptr<IView> MakeDesktopView();

}  // namespace ui::desktop

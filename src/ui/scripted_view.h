// The scripted view: a user who answers from the machine's user script (tests and
// automation). Each message box takes the next answer; when none is left the run ends
// with a message instead of waiting for an answer that will never come.
#pragma once

#include <memory>

#include "ui/view.h"

namespace ui {

/// The scripted view.
std::unique_ptr<IView> MakeScriptedView();

}  // namespace ui

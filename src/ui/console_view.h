// The console view: a person at a terminal reads each message box and answers it there.
#pragma once

#include <iosfwd>
#include <memory>

#include "ui/view.h"

namespace ui {

/// A console view reading answers from `in` and writing boxes to `out`.
std::unique_ptr<IView> MakeConsoleView(std::istream& in, std::ostream& out);

}  // namespace ui

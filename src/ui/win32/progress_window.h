// The progress of long work on Windows: a small window over the confirmation dialog with
// the step in words, a progress bar (common controls) and the files done of the total.
#pragma once

#include <memory>

#include "ui/progress.h"

namespace ui::win32 {

/// The Windows view's progress display; it paints while the work pumps the message queue.
std::unique_ptr<IProgress> MakeWin32Progress();

}  // namespace ui::win32

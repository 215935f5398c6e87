// Progress of the long work of an installation, as the install layer reports it and a view
// shows it: which step runs (the backup of the earlier installation, its removal, the
// extraction) and how many of its files are done. The installer is single-threaded: a view
// shows progress while the work pumps the pending events (ui::DispatchPendingEvents).
#pragma once

#include <cstdint>

namespace ui {

/// The steps the progress display names.
enum class ProgressStep {
    kBackup,      // the earlier installation is copied to the Temp folders
    kRemoval,     // the earlier installation is deleted
    kExtraction,  // the package is extracted
};

/// The words a view shows for a step ("이전 설치 백업 중", ...).
const char* ProgressStepText(ProgressStep step);

/// A short word for logs ("backup", "removal", "extraction").
const char* ProgressStepName(ProgressStep step);

/// What a view implements to show progress; every call returns at once.
class IProgress {
public:
    virtual ~IProgress() = default;
    /// A step begins with `total` files to do, or 0 when the step does not know how many.
    virtual void StepStarted(ProgressStep step, uint64_t total) = 0;
    /// `done` files of the current step are finished (`total` as the step began).
    virtual void FilesDone(uint64_t done, uint64_t total) = 0;
    /// The long work has ended: the display goes away (also when no step was shown).
    virtual void Finished() = 0;
};

/// The progress display of the view in use.
IProgress& CurrentProgress();

/// Ends the display of the view in use when the object goes: the span of one installation.
class ProgressSpan {
public:
    ProgressSpan() = default;
    ~ProgressSpan() { CurrentProgress().Finished(); }
    ProgressSpan(const ProgressSpan&) = delete;
    ProgressSpan& operator=(const ProgressSpan&) = delete;
};

}  // namespace ui

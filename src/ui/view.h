// The user-interface layer as the core sees it: message boxes in the Windows manner, the
// wait cursor, and the dispatch of pending window events during long work. A view (scripted,
// console, desktop) only shows and reports; what a box means is decided by its caller.
#pragma once

#include <memory>
#include <string>

#include "ui/progress.h"

namespace ui {

class IConfirmView;
struct ConfirmLook;

/// Message-box flags (MB_*) used by the installer.
inline constexpr unsigned kMbOk = 0x00;
inline constexpr unsigned kMbYesNo = 0x04;
inline constexpr unsigned kMbIconWarning = 0x30;
inline constexpr unsigned kMbIconInformation = 0x40;

/// Message-box results (ID*); 0 means the box could not be shown.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

/// Exit code of a run that no one can answer any more (script exhausted, input closed).
inline constexpr int kNoAnswerExitCode = 3;

/// What a view must provide.
class IView {
public:
    virtual ~IView() = default;
    /// Shows a modal box and answers the button pressed (kIdOk, kIdYes, kIdNo, kIdCancel).
    virtual int ShowMessageBox(const std::string& caption, const std::string& text,
                               unsigned flags) = 0;
    /// Handles every user-interface event already waiting, without blocking.
    virtual void DispatchPendingEvents() = 0;
    /// Shows or hides the wait cursor.
    virtual void ShowWaitCursor(bool on) = 0;
    /// The confirmation dialog's view of this kind; none by default (the dialog then ends
    /// at once, cancelled).
    virtual std::unique_ptr<IConfirmView> CreateConfirmView(const ConfirmLook& look);
    /// How this view shows the progress of long work; by default it shows none.
    virtual IProgress& Progress();
    /// A short name for logs ("scripted", "console", "desktop").
    virtual const char* Name() const = 0;
};

/// Installs the view the process uses from now on.
void SetView(std::unique_ptr<IView> view);

/// The view in use; a view that answers nothing (result 0) before one is set.
IView& CurrentView();

/// The application name: the executable's file name without its extension.
std::string ApplicationName();

/// AfxMessageBox: shows `text` with the application name as caption, records the box and
/// its answer in the screen log, and returns the answer.
int MessageBox(const std::string& text, unsigned flags);

/// A message box with a caption of the caller's (CWnd::MessageBox).
int MessageBoxWithCaption(const std::string& caption, const std::string& text, unsigned flags);

/// A text as the screen log writes it: quoted, with \r, \n, \t, \" and \\ escaped.
std::string EscapeForLog(const std::string& text);

/// Dispatches the user-interface events waiting now (the message pump of long walks).
void DispatchPendingEvents();

/// CWaitCursor: the wait cursor for the life of the object.
class WaitCursor {
public:
    WaitCursor() { CurrentView().ShowWaitCursor(true); }
    ~WaitCursor() { CurrentView().ShowWaitCursor(false); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace ui

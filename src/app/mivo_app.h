// The application object: the process's start-up with its guards, then the main dialog.
#pragma once

/// The installer's application object.
class CMivoApp {
public:
    CMivoApp() = default;
    virtual ~CMivoApp() = default;

    /// Runs the start-up steps and the main dialog; always false, so the process ends
    /// when it returns. A refusal shows its message first.
    virtual bool InitInstance();
};

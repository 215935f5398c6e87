// The main dialog: it never shows a face; its initialisation runs the installer's main
// flow and then closes it. It carries the state that the later steps share.
#pragma once

#include <cstdint>
#include <string>

#include "db/sqlite_db.h"

/// The main dialog and the shared state of one installation.
class CMivoDlg {
public:
    CMivoDlg() = default;
    virtual ~CMivoDlg();
    CMivoDlg(const CMivoDlg&) = delete;
    CMivoDlg& operator=(const CMivoDlg&) = delete;

    /// Runs the dialog: its initialisation, then its close. Answers kIdCancel, the result
    /// of the close request it posts to itself.
    int DoModal();

    /// The main flow; true on every path that returns (refusals end the process).
    virtual bool OnInitDialog();

    /// The title of an exam for the reinstall question and the confirmation dialog.
    static std::string ExamTitle(int ordinal, int level, int examKind);

    int32_t m_examKind = 0;      // ExamKind of the package's level record
    int32_t m_level = 0;         // the level finally installed (1-4)
    std::string m_examNumber;    // the examinee's exam number
    std::string m_examineeName;  // the examinee's name
    int32_t m_dbOpen = 0;        // non-zero while the package database is open and checked
    CSqliteDB m_packageDb;       // the package database
};

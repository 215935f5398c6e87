// The examinee confirmation dialog's logic: the exam number and name rules, the level
// package test, the examinee lookup, the key filter, and the installation run from its
// install button. It knows no toolkit; a view (ui/confirm_view.h) shows it.
#pragma once

#include <memory>
#include <string>

#include "ui/confirm_view.h"

class CMivoDlg;

/// The examinee confirmation dialog.
class CSetUpComformDlg : public ui::IConfirmController {
public:
    /// A dialog shown by `view`; without one, the view of the current user interface.
    explicit CSetUpComformDlg(std::unique_ptr<ui::IConfirmView> view = nullptr);
    ~CSetUpComformDlg() override;
    CSetUpComformDlg(const CSetUpComformDlg&) = delete;
    CSetUpComformDlg& operator=(const CSetUpComformDlg&) = delete;

    /// Runs the dialog; kIdOk after a completed installation, kIdCancel otherwise.
    int DoModal();

    void OnInitDialog() override;
    void OnExamNumberUpdate() override;
    void OnInstallClicked() override;
    void OnCancel() override;
    bool PreTranslateKeyDown(unsigned virtualKey, bool leftControlDown) override;

    /// What the exam-number rules say of a number.
    enum class ExamNumberVerdict {
        kAccepted,             // the number stands
        kWrongLength,          // not eight characters
        kWrongNumber,          // refused by a regular exam's rules
        kWrongPastExamNumber,  // not one of a past-exam practice package's numbers
    };
    /// Judges a trimmed exam number for an exam of `ordinal` and `examKind`, showing
    /// nothing; `level` receives the level its prefix names (1-4), or 0 when it names none
    /// (an accepted number may still have such a prefix: a reserved one never does).
    static ExamNumberVerdict JudgeExamNumber(const std::string& number, int ordinal, int examKind,
                                             int& level);
    /// Checks the exam-number field; shows a refusal, stores level and number on success.
    bool ValidateExamNumber();
    /// True for the four reserved numbers "11000000", "12000000", "21000000", "22000000".
    static bool IsReservedExamNumber(const std::string& number);
    /// Checks the name field; shows a refusal, stores the name on success.
    bool CheckName();
    /// True when the stored level's package exists; shows a refusal otherwise.
    bool CheckPackageForLevel();

    // Handed in by the main flow before the dialog runs.
    int m_examOrdinal = 0;             // 1000 and more: a special exam
    int m_level = 0;                   // the package's level, then the accepted number's
    int m_examKind = 0;                // 2 competition, 3 past-exam practice
    std::string m_title;               // the window text
    CMivoDlg* m_mainDialog = nullptr;  // receives the results

    // Results of the checks.
    std::string m_examNumber;  // the accepted exam number (trimmed, 8 characters)
    std::string m_name;        // the examinee's name (trimmed, or as registered)

private:
    ui::IConfirmView& View();

    std::unique_ptr<ui::IConfirmView> m_view;  // null until the dialog runs, unless given
};

// Test support for the installation steps run inside the test program: a machine with a
// package folder D:\Pkg that the "installer" lies in, and a view that records message boxes.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "package_builder.h"
#include "temp_machine.h"
#include "ui/confirm_view.h"
#include "ui/text_fields_view.h"
#include "ui/view.h"

namespace installtest {

/// A message box as the recording view saw it.
struct ShownBox {
    std::string caption;
    std::string text;
    unsigned flags = 0;
};

/// A view that answers every box with `answer` (OK by default) and remembers them.
class RecordingView final : public ui::IView {
public:
    int ShowMessageBox(const std::string& caption, const std::string& text,
                       unsigned flags) override {
        boxes.push_back({caption, text, flags});
        return (flags & 0x0F) == ui::kMbYesNo ? yesNoAnswer : ui::kIdOk;
    }
    void DispatchPendingEvents() override {}
    void ShowWaitCursor(bool) override {}
    const char* Name() const override { return "recording"; }

    std::vector<ShownBox> boxes;   // every box shown, in order
    int yesNoAnswer = ui::kIdYes;  // the answer to yes/no boxes
};

/// The confirmation fields without a window, with the typing operations open to tests.
class TestConfirmView final : public ui::TextFieldsConfirmView {
public:
    int RunModal(ui::IConfirmController& controller) override {
        controller.OnInitDialog();
        return Result();
    }
    using ui::TextFieldsConfirmView::ClearField;
    using ui::TextFieldsConfirmView::Ended;
    using ui::TextFieldsConfirmView::PasteText;
    using ui::TextFieldsConfirmView::PressKey;
    using ui::TextFieldsConfirmView::Result;
    using ui::TextFieldsConfirmView::TypeText;
};

/// A machine (C: system, D: fixed) whose installer lies in D:\Pkg, with a recording view.
class PackageMachine {
public:
    explicit PackageMachine(const std::string& drives = "D = fixed, drive_d\n");
    ~PackageMachine();
    PackageMachine(const PackageMachine&) = delete;
    PackageMachine& operator=(const PackageMachine&) = delete;

    /// Builds BaseData in the package folder.
    void BuildBaseData(
        int ordinal, int examKind, const std::vector<int>& levels, bool withDatabases = true,
        const std::vector<package::Examinee>& examinees = package::SampleExaminees());
    /// Host path of the package folder D:\Pkg.
    std::string PackageFolder() const { return m_machine.Host("D:\\Pkg"); }
    const testsupport::TempMachine& Machine() const { return m_machine; }
    RecordingView& View() const { return *m_view; }

private:
    testsupport::TempMachine m_machine;
    RecordingView* m_view;  // owned by the user-interface layer while the machine lives
};

}  // namespace installtest

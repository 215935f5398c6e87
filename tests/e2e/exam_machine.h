// End-to-end test support: a built machine with an exam package folder, on which the real
// installer runs as a process with a user script; readers for what a run leaves behind
// (screen log, level record, file trees); and the stopping of the stand-ins it started.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "built_machine.h"
#include "host_text.h"
#include "machine_builder.h"
#include "package_builder.h"

namespace e2e {

// Texts the installer shows, as the user reads them.
inline constexpr const char* kReinstallQuestion =
    "시험용 data가 설치되어 있습니다.\r\n\r\n재설치시 답안입력내용을 포함한 기존 data가\r\n\r\n"
    "모두 삭제됩니다. 재설치 하시겠습니까?";
inline constexpr const char* kWrongLength = "수험번호 길이가 맞지 않습니다.";
inline constexpr const char* kWrongNumber = "잘못된 수험번호입니다.";
inline constexpr const char* kWrongPastExamNumber =
    "잘못된 수험번호입니다. \n\n기출문제 수험번호는 아래와 같습니다. \n\n - 세무1급 : 11111111 \n"
    " - 세무2급 : 12111111 \n - 회계1급 : 21111111 \n - 회계2급 : 22111111 \n";
inline constexpr const char* kNoName = "이름을 입력하세요.";
inline constexpr const char* kNoPackage =
    "입력한 수험번호에 해당되는 문제 설치파일이\n존재하지 않습니다. \n\n수험번호를 다시 한번 "
    "확인해주시기 바랍니다.\n";
inline constexpr const char* kNotRegistered =
    "입력하신 수험번호와 이름이 \n응시자정보 데이터에 존재 하지 않습니다. \n\n수험번호와 "
    "이름을 다시 입력하여 주시기 바랍니다.";
inline constexpr const char* kRemovalFailed =
    "기존 설치 문제를 삭제 할 수 없어\r\n\r\n문제 설치에 실패했습니다.";

/// The package folder of a machine: which exam, which level packages, which register.
struct ExamSpec {
    int ordinal = 112;
    int examKind = 1;                     // the kind of a regular exam as packages carry it
    std::vector<int> levels{1, 2, 3, 4};  // level packages built with BuildBaseData
    bool withDatabases = true;
    std::vector<package::Examinee> examinees = package::SampleExaminees();
};

/// One line of run/screen.log: a message box, or the confirmation dialog opening or closing.
struct ScreenEntry {
    std::string kind;        // "messagebox", "opened", "closed"
    std::string caption;     // caption of a box, title of the dialog
    std::string flags;       // "0x44"
    std::string text;        // text of a box, unescaped
    std::string answer;      // answer of a box, result of the dialog
    std::string examNumber;  // dialog fields at closing
    std::string name;
};

/// A machine for one test. The installer's drive holds the package folder of `exam`; the
/// destructor stops every stand-in the runs started and waits for it, then removes the
/// machine.
class ExamMachine {
public:
    explicit ExamMachine(machine::MachineRecipe recipe = {}, const ExamSpec& exam = {});
    ~ExamMachine();
    ExamMachine(const ExamMachine&) = delete;
    ExamMachine& operator=(const ExamMachine&) = delete;

    const std::string& Folder() const { return m_machine.Folder(); }
    /// Host path of a Windows path of this machine ("C:\\VemraExamDB" -> .../drive_c/VemraExamDB).
    std::string Host(const std::string& windowsPath) const;
    /// Host path of the package folder, and of a package of a level.
    std::string PackageFolder() const;
    std::string PackageOf(int level) const;
    /// The Windows path of the package folder ("D:\\MivoPackage").
    std::string WindowsPackageFolder() const;

    /// Runs the installer with these user-script lines (the script starts anew) and answers
    /// its exit code; -1 when it did not end normally.
    int Run(const std::vector<std::string>& script);
    /// The script lines that are still unused after the last run.
    int UnusedScriptLines() const;

    std::string Read(const std::string& machineRelative) const {
        return m_machine.Read(machineRelative);
    }
    /// The screen log of every run so far, parsed.
    std::vector<ScreenEntry> Screen() const;
    /// Texts of the message boxes shown so far, in order.
    std::vector<std::string> BoxTexts() const;
    std::string Started() const { return Read("run/started.log"); }
    std::string DebugLog() const { return Read("run/debug.log"); }
    std::string Registry() const { return Read("registry.reg"); }

    /// How many starts of a stand-in role ("main-program", "db-server") run/started.log
    /// holds, waiting a few seconds for `expected` of them: the installer does not wait
    /// for the programs it starts.
    size_t StartsOf(const std::string& role, size_t expected) const;

    /// Ends the stand-ins started so far (stop files, then waiting); the test fails when one
    /// does not end. Called by the destructor as well.
    void StopStandins();

private:
    apptest::BuiltMachine m_machine;
    int m_scriptLines = 0;
};

/// The name the sample register gives a number ("" when it has none).
std::string RegisteredName(const std::string& number);

/// The standard answers of a confirmation dialog that installs with `number` and `name`.
std::vector<std::string> InstallScript(const std::string& number, const std::string& name);

/// What an installed level record holds.
struct StampedRecord {
    bool read = false;
    std::vector<uint8_t> bytes;
    std::u16string examNumber;  // up to the terminating zero
    std::u16string name;
};
StampedRecord ReadStampedRecord(const std::string& hostPath);

/// The 388 bytes an installation must leave: the package's record with number and name.
std::vector<uint8_t> ExpectedRecord(const package::PackageRecipe& package,
                                    const std::string& examNumber, const std::string& name);

/// Every file below a host folder by relative path ("Vemra/Answer.dat"), with its contents;
/// folders appear with a trailing slash and no contents.
std::map<std::string, std::string> Tree(const std::string& hostFolder);

/// The tree that unzip extracts from an archive.
std::map<std::string, std::string> UnzippedTree(const std::string& hostZip);

/// Expects two trees to hold the same names with the same contents; reports the names that
/// differ (not the contents, which may be large).
void ExpectSameTree(const std::map<std::string, std::string>& actual,
                    const std::map<std::string, std::string>& expected);

/// Expects the exam data of a completed installation on drive C: the package of `level`
/// extracted whole, its record stamped with `number` and `name`, the display marker of a
/// 1920x1080 screen in company folder 0007, and no temporary record left beside it.
void ExpectInstalledExam(const ExamMachine& m, const ExamSpec& exam, int level,
                         const std::string& number, const std::string& name);

/// Reads a whole host file ("" when missing); writes one, making its folders.
std::string ReadFile(const std::string& hostPath);
void WriteFile(const std::string& hostPath, const std::string& contents);
bool Exists(const std::string& hostPath);

using testsupport::CountLines;

}  // namespace e2e

// Machines with exam packages for the end-to-end tests.
#include "exam_machine.h"
#include "platform/posix/machine.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/text.h"

using platform::posix::ShellQuote;

namespace fs = std::filesystem;

namespace e2e {

namespace {

// The stand-ins are started by the installer's grandchild and outlive the installer; as the
// subreaper of its descendants the test process inherits them, so it can wait for each one
// and nothing is left behind as a zombie.
void BecomeSubreaper() {
    static const bool done = prctl(PR_SET_CHILD_SUBREAPER, 1) == 0;
    if (!done) {
        ADD_FAILURE() << "cannot become the subreaper of the installer's programs";
    }
}

void ReapChildren() {
    while (waitpid(-1, nullptr, WNOHANG) > 0) {
    }
}

// The value of `key="..."` (unescaped) or `key=word` in a screen-log line.
std::string Field(const std::string& line, const std::string& key) {
    const std::string quoted = " " + key + "=\"";
    size_t at = line.find(quoted);
    if (at != std::string::npos) {
        std::string out;
        for (size_t i = at + quoted.size(); i < line.size(); ++i) {
            const char c = line[i];
            if (c == '"') {
                return out;
            }
            if (c == '\\' && i + 1 < line.size()) {
                const char n = line[++i];
                out.push_back(n == 'r' ? '\r' : n == 'n' ? '\n' : n == 't' ? '\t' : n);
            } else {
                out.push_back(c);
            }
        }
        return out;
    }
    const std::string plain = " " + key + "=";
    at = line.find(plain);
    if (at == std::string::npos) {
        return "";
    }
    const size_t begin = at + plain.size();
    return line.substr(begin, line.find(' ', begin) - begin);
}

std::u16string UnitsAt(const std::vector<uint8_t>& bytes, size_t at, size_t count) {
    std::u16string out;
    for (size_t i = 0; i < count && at + 2 * i + 1 < bytes.size(); ++i) {
        const char16_t u = static_cast<char16_t>(bytes[at + 2 * i] | bytes[at + 2 * i + 1] << 8);
        if (u == 0) {
            break;
        }
        out.push_back(u);
    }
    return out;
}

void PutUnits(std::vector<uint8_t>& bytes, size_t at, const std::string& utf8) {
    std::u16string units = platform::Utf8ToUtf16(utf8);
    units.resize(std::min<size_t>(units.size(), 20));
    units.push_back(0);
    for (size_t i = 0; i < units.size(); ++i) {
        bytes[at + 2 * i] = static_cast<uint8_t>(units[i]);
        bytes[at + 2 * i + 1] = static_cast<uint8_t>(units[i] >> 8);
    }
}

// Package folders already built, by what they hold: most tests use the same few, and
// zipping them anew for every machine would cost more than the runs. Each machine gets a
// copy, which its test may damage. Removed when the test program ends.
class PackageCache {
public:
    ~PackageCache() {
        std::error_code ec;
        for (const auto& [key, folder] : m_folders) {
            fs::remove_all(folder, ec);
        }
    }
    // The folder holding BaseData for `exam`; empty with `problem` set on failure.
    std::string FolderFor(const ExamSpec& exam, std::string& problem) {
        std::string key = std::to_string(exam.ordinal) + "/" + std::to_string(exam.examKind) + "/" +
                          (exam.withDatabases ? "db" : "-") + "/";
        for (int level : exam.levels) {
            key += std::to_string(level);
        }
        for (const package::Examinee& e : exam.examinees) {
            key += "/" + e.number + "=" + e.name;
        }
        const auto it = m_folders.find(key);
        if (it != m_folders.end()) {
            return it->second;
        }
        std::string folder = (fs::temp_directory_path() / "mivo-e2e-package-XXXXXX").string();
        if (mkdtemp(folder.data()) == nullptr) {
            problem = "cannot make a temporary folder";
            return "";
        }
        if (!package::BuildBaseData(folder, exam.ordinal, exam.examKind, exam.levels,
                                    exam.withDatabases, exam.examinees, problem)) {
            std::error_code ec;
            fs::remove_all(folder, ec);
            return "";
        }
        m_folders[key] = folder;
        return folder;
    }

private:
    std::map<std::string, std::string> m_folders;
};

PackageCache& Packages() {
    static PackageCache cache;
    return cache;
}

machine::MachineRecipe WithScriptFile(machine::MachineRecipe recipe) {
    if (!recipe.script) {
        recipe.script = std::vector<std::string>{};
    }
    return recipe;
}

}  // namespace

ExamMachine::ExamMachine(machine::MachineRecipe recipe, const ExamSpec& exam)
    : m_machine(WithScriptFile(std::move(recipe))) {
    BecomeSubreaper();
    std::string problem;
    const std::string built = Packages().FolderFor(exam, problem);
    std::error_code ec;
    if (!built.empty()) {
        fs::copy(built, PackageFolder(), fs::copy_options::recursive, ec);
    }
    if (built.empty() || ec) {
        ADD_FAILURE() << "cannot build the package folder: " << problem << ec.message();
    }
}

ExamMachine::~ExamMachine() {
    StopStandins();
}

std::string ExamMachine::Host(const std::string& windowsPath) const {
    std::string rest = windowsPath.substr(2);
    for (char& c : rest) {
        if (c == '\\') {
            c = '/';
        }
    }
    const char drive = static_cast<char>(std::tolower(static_cast<unsigned char>(windowsPath[0])));
    return Folder() + "/drive_" + std::string(1, drive) + rest;
}

std::string ExamMachine::PackageFolder() const {
    return fs::path(machine::InstallerHostPath(m_machine.Recipe())).parent_path().string();
}

std::string ExamMachine::PackageOf(int level) const {
    return PackageFolder() + "/BaseData/Level" + std::to_string(level) + "/VemraExamDB.zip";
}

std::string ExamMachine::WindowsPackageFolder() const {
    return std::string(1, m_machine.Recipe().packageDrive) + ":\\" +
           m_machine.Recipe().packageFolder;
}

int ExamMachine::Run(const std::vector<std::string>& script) {
    std::string text;
    for (const std::string& line : script) {
        text += line + "\n";
    }
    WriteFile(Folder() + "/user-script.txt", text);
    m_scriptLines = static_cast<int>(script.size());
    std::error_code ec;
    fs::remove(Folder() + "/run/script.pos", ec);
    const int code = m_machine.RunInstaller();
    ReapChildren();
    return code;
}

int ExamMachine::UnusedScriptLines() const {
    return m_scriptLines - std::atoi(Read("run/script.pos").c_str());
}

std::vector<ScreenEntry> ExamMachine::Screen() const {
    std::vector<ScreenEntry> entries;
    std::istringstream lines(Read("run/screen.log"));
    std::string line;
    while (std::getline(lines, line)) {
        ScreenEntry e;
        if (line.rfind("messagebox ", 0) == 0) {
            e.kind = "messagebox";
            e.caption = Field(line, "caption");
            e.flags = Field(line, "flags");
            e.text = Field(line, "text");
            e.answer = Field(line, "answer");
        } else if (line.rfind("dialog ", 0) == 0) {
            e.caption = Field(line, "title");
            if (line.find(" closed ") != std::string::npos) {
                e.kind = "closed";
                e.examNumber = Field(line, "exam-number");
                e.name = Field(line, "name");
                e.answer = Field(line, "result");
            } else if (line.size() >= 7 && line.compare(line.size() - 7, 7, " opened") == 0) {
                e.kind = "opened";
            } else {
                e.kind = line;  // an ended run: shows up in the test's failure output
            }
        } else {
            continue;
        }
        entries.push_back(e);
    }
    return entries;
}

std::vector<std::string> ExamMachine::BoxTexts() const {
    std::vector<std::string> texts;
    for (const ScreenEntry& e : Screen()) {
        if (e.kind == "messagebox") {
            texts.push_back(e.text);
        }
    }
    return texts;
}

size_t ExamMachine::StartsOf(const std::string& role, size_t expected) const {
    size_t count = CountLines(Started(), "role=" + role + " ");
    for (int i = 0; i < 250 && count < expected; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        count = CountLines(Started(), "role=" + role + " ");
    }
    return count;
}

void ExamMachine::StopStandins() {
    // The programs a run started may still be on their way (the installer does not wait
    // for them), so the stop files stay until every descendant of the runs has ended: as
    // their subreaper, this process then has no child left.
    WriteFile(Folder() + "/run/stop-main-program", "");
    WriteFile(Folder() + "/run/stop-db-server", "");
    bool ended = false;
    for (int i = 0; i < 250 && !ended; ++i) {
        while (waitpid(-1, nullptr, WNOHANG) > 0) {
        }
        ended = waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD;
        if (!ended) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    if (!ended) {
        ADD_FAILURE() << "a program started by the installer did not end at its stop file";
        std::istringstream lines(Started());
        std::string line;
        while (std::getline(lines, line)) {
            const auto at = line.find(" pid=");
            const pid_t pid = at == std::string::npos ? 0 : std::atoi(line.c_str() + at + 5);
            if (pid > 1) {
                kill(pid, SIGKILL);
            }
        }
        for (int i = 0; i < 100 && !(waitpid(-1, nullptr, 0) < 0 && errno == ECHILD); ++i) {
        }
    }
    std::error_code ec;
    fs::remove(Folder() + "/run/stop-main-program", ec);
    fs::remove(Folder() + "/run/stop-db-server", ec);
}

std::string RegisteredName(const std::string& number) {
    for (const package::Examinee& e : package::SampleExaminees()) {
        if (e.number == number) {
            return e.name;
        }
    }
    return "";
}

std::vector<std::string> InstallScript(const std::string& number, const std::string& name) {
    return {"type exam-number " + number, "type name " + name, "press install"};
}

StampedRecord ReadStampedRecord(const std::string& hostPath) {
    StampedRecord r;
    const std::string bytes = ReadFile(hostPath);
    if (!Exists(hostPath)) {
        return r;
    }
    r.read = true;
    r.bytes.assign(bytes.begin(), bytes.end());
    r.examNumber = UnitsAt(r.bytes, 16, 21);
    r.name = UnitsAt(r.bytes, 58, 21);
    return r;
}

std::vector<uint8_t> ExpectedRecord(const package::PackageRecipe& p, const std::string& examNumber,
                                    const std::string& name) {
    std::vector<uint8_t> bytes =
        package::LevelRecordBytes(p.ordinal, p.level, p.examKind, p.companyCode1, p.companyCode2);
    PutUnits(bytes, 16, examNumber);
    PutUnits(bytes, 58, name);
    return bytes;
}

std::map<std::string, std::string> Tree(const std::string& hostFolder) {
    std::map<std::string, std::string> tree;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(hostFolder, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const std::string relative = fs::relative(it->path(), hostFolder).generic_string();
        if (it->is_directory()) {
            tree[relative + "/"] = "";
        } else {
            tree[relative] = ReadFile(it->path().string());
        }
    }
    return tree;
}

std::map<std::string, std::string> UnzippedTree(const std::string& hostZip) {
    std::string folder = (fs::temp_directory_path() / "mivo-unzip-XXXXXX").string();
    if (mkdtemp(folder.data()) == nullptr) {
        ADD_FAILURE() << "cannot make a temporary folder";
        return {};
    }
    const std::string command =
        "unzip -qq " + ShellQuote(hostZip) + " -d " + ShellQuote(folder) + " >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) {
        ADD_FAILURE() << "unzip failed on " << hostZip;
    }
    std::map<std::string, std::string> tree = Tree(folder);
    std::error_code ec;
    fs::remove_all(folder, ec);
    return tree;
}

void ExpectSameTree(const std::map<std::string, std::string>& actual,
                    const std::map<std::string, std::string>& expected) {
    std::string missing;
    std::string extra;
    std::string different;
    for (const auto& [name, contents] : expected) {
        const auto it = actual.find(name);
        if (it == actual.end()) {
            missing += " " + name;
        } else if (it->second != contents) {
            different += " " + name;
        }
    }
    for (const auto& [name, contents] : actual) {
        if (expected.count(name) == 0) {
            extra += " " + name;
        }
    }
    EXPECT_EQ(missing, "") << "missing from the tree";
    EXPECT_EQ(extra, "") << "not expected in the tree";
    EXPECT_EQ(different, "") << "with other contents";
}

void ExpectInstalledExam(const ExamMachine& m, const ExamSpec& exam, int level,
                         const std::string& number, const std::string& name) {
    package::PackageRecipe p;
    p.ordinal = exam.ordinal;
    p.level = level;
    p.examKind = exam.examKind;
    std::map<std::string, std::string> expected = UnzippedTree(m.PackageOf(level));
    const std::vector<uint8_t> record = ExpectedRecord(p, number, name);
    expected["Vemra/LevelInfo.dat"] = std::string(record.begin(), record.end());
    expected["Vemra/0007/disp_1920_1080.01"] = std::string(388, '\0');
    ExpectSameTree(Tree(m.Host("C:\\VemraExamDB")), expected);

    const StampedRecord stamped =
        ReadStampedRecord(m.Host("C:\\VemraExamDB\\Vemra\\LevelInfo.dat"));
    EXPECT_EQ(platform::Utf16ToUtf8(stamped.examNumber), number);
    EXPECT_EQ(platform::Utf16ToUtf8(stamped.name), name);
}

std::string ReadFile(const std::string& hostPath) {
    std::ifstream in(hostPath, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const std::string& hostPath, const std::string& contents) {
    std::error_code ec;
    fs::create_directories(fs::path(hostPath).parent_path(), ec);
    std::ofstream out(hostPath, std::ios::binary | std::ios::trunc);
    out << contents;
    out.close();
    if (!out) {
        ADD_FAILURE() << "cannot write " << hostPath;
    }
}

bool Exists(const std::string& hostPath) {
    std::error_code ec;
    return fs::exists(hostPath, ec);
}

}  // namespace e2e

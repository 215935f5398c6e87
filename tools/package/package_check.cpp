// The package check.
#include "package_check.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <map>
#include <set>

#include "declined_entry.h"
#include "install/level_record.h"
#include "install/mivo_dlg.h"
#include "install/package_db.h"
#include "install/set_up_comform_dlg.h"
#include "install/shortcuts.h"
#include "platform/files.h"
#include "platform/posix/machine.h"
#include "platform/text.h"
#include "zip/zip_reader.h"

namespace package {

namespace {

using json = nlohmann::ordered_json;
using Verdict = CSetUpComformDlg::ExamNumberVerdict;

// The installer's executable as it lies in a package folder: mivo.exe on a Windows stick,
// mivo on a simulated machine.
constexpr const char* kInstallerNames[] = {"mivo.exe", "mivo"};
// The program files the installation copies from the root of the extracted package.
constexpr const char* kProgramFiles[] = {"Lumisave.exe", "VemraExam.exe"};
// Where the installation and the reinstall test expect the record in the installed tree.
constexpr const char* kInstalledRecordEntry = "Vemra\\LevelInfo.dat";
// A register that another program keeps locked gives way quickly here: nobody waits.
constexpr int kBusyTimeoutSeconds = 5;
// How many examples a line names; the JSON data carries them all.
constexpr size_t kExamplesShown = 5;

std::string KindWords(int32_t kind) {
    switch (kind) {
        case 2:
            return "competition";
        case 3:
            return "past-exam practice";
        default:
            return "regular exam";
    }
}

// "1 error", "2 errors".
std::string Counted(size_t count, const std::string& one, const std::string& many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string LevelName(int level) {
    return "Level" + std::to_string(level);
}

// The level record as the installer would read it out of one archive, but into memory.
struct RecordRead {
    bool found = false;
    std::string entryName;  // the entry it came from
    uint64_t size = 0;      // bytes of the entry
    CLevelRecord record;
    int errorCode = 0;  // a CZipError that ended the read (0: none)
    std::string error;
};

// The installer's ReadLevelRecordFromPackage takes the first entry whose name matches and
// extracts whole; an entry that does not extract is passed over, and a reader error ends
// the read. Here the entry's bytes are read through the same reader instead of a scratch
// folder: the first 388 bytes form the record, the rest is read for the CRC check.
RecordRead ReadRecordInMemory(const std::string& archive) {
    RecordRead result;
    CZipReader zip;
    try {
        zip.Open(archive, CZipReader::kModeReadOnly);
        for (uint64_t i = 0; i < zip.GetEntryCount() && !result.found; ++i) {
            CZipEntry* entry = zip.GetEntryInfo(i);
            if (entry == nullptr || !IsLevelRecordEntryName(entry->GetFileName()) ||
                !zip.OpenEntry(i)) {
                continue;
            }
            std::array<uint8_t, kLevelRecordSize> bytes{};
            std::array<uint8_t, 4096> chunk;
            uint64_t total = 0;
            for (size_t got; (got = zip.ReadEntryData(chunk.data(), chunk.size())) != 0;) {
                if (total < kLevelRecordSize) {
                    const size_t take = std::min<uint64_t>(got, kLevelRecordSize - total);
                    std::copy_n(chunk.begin(), take, bytes.begin() + total);
                }
                total += got;
            }
            if (zip.CloseEntry() != CZipReader::kEntryComplete) {
                continue;
            }
            result.found = true;
            result.entryName = entry->GetFileName();
            result.size = total;
            result.record =
                CLevelRecord::FromBytes(bytes.data(), std::min<uint64_t>(total, kLevelRecordSize));
        }
        zip.Close();
    } catch (const CZipError& error) {
        zip.Close(CZipReader::kCloseAfterException);
        result.found = false;
        result.errorCode = error.Code();
        result.error = error.Describe();
    }
    return result;
}

// Every entry decompressed and checked, as `mivo-zip test` does; stops at the first failure.
struct ArchiveTest {
    bool opened = false;
    bool sound = false;
    uint64_t entries = 0;
    int code = 0;             // reader code of the failure (0: declined without an error)
    std::string description;  // its plain words
    std::string entry;        // the failing entry's name, empty when the open failed
    std::vector<std::string> names;
};

ArchiveTest TestArchive(const std::string& archive) {
    ArchiveTest result;
    CZipReader zip;
    uint64_t index = 0;
    try {
        zip.Open(archive, CZipReader::kModeReadOnly);
        result.opened = true;
        result.entries = zip.GetEntryCount();
        for (uint64_t i = 0; i < result.entries; ++i) {
            result.names.push_back(zip.GetEntryInfo(i)->GetFileName());
        }
        for (index = 0; index < result.entries; ++index) {
            if (!zip.TestEntry(index)) {
                result.description = DeclinedEntryReason(*zip.GetEntryInfo(index), "sound");
                result.entry = result.names[index];
                zip.Close(CZipReader::kCloseAfterException);
                return result;
            }
        }
        zip.Close();
        result.sound = true;
    } catch (const CZipError& error) {
        zip.Close(CZipReader::kCloseAfterException);
        result.code = error.Code();
        result.description = error.Describe();
        if (result.opened && index < result.names.size()) {
            result.entry = result.names[index];
        }
    }
    return result;
}

// What one level's archive holds, as far as the check needs it later.
struct LevelState {
    bool present = false;
    RecordRead record;
};

class Checker {
public:
    explicit Checker(CheckReport& report) : m_report(report) {}

    void Run(const std::string& hostFolder);

private:
    void Add(Severity severity, const std::string& subject, const std::string& kind,
             const std::string& text, json data = json::object()) {
        m_report.findings.push_back({severity, subject, kind, text, std::move(data)});
    }
    std::string Relative(const std::string& windowsPath) const {
        return windowsPath.rfind(m_folder + "\\", 0) == 0 ? windowsPath.substr(m_folder.size() + 1)
                                                          : windowsPath;
    }
    std::string ArchivePath(int level) const {
        return platform::StringPrintf("%s\\%s", m_folder.c_str(), PackageName(level).c_str());
    }

    void CheckInstaller();
    void CheckLevel(int level);
    void CheckRecordSource();
    void CheckDatabases();
    void CheckDatabase(const std::string& path, const std::vector<int>& levels, bool used);
    void CheckExaminees(CMivoDlg& dialog, const std::string& subject, const json& rows);

    CheckReport& m_report;
    std::string m_folder;  // the package folder as the installer names it (Z:\...)
    std::array<LevelState, 5> m_levels;
    // The record the installer reads (its ordinal, level and kind: 0 when none is read).
    int m_ordinal = 0;
    int m_level = 0;
    int m_kind = 0;
};

void Checker::Run(const std::string& hostFolder) {
    std::error_code ec;
    const std::filesystem::path host = std::filesystem::absolute(hostFolder, ec).lexically_normal();
    std::string hostText = host.string();
    while (hostText.size() > 1 && hostText.back() == '/') {
        hostText.pop_back();
    }
    platform::posix::UseHostRoot();
    if (ec || !std::filesystem::is_directory(hostText, ec) ||
        !platform::posix::WindowsPathOf(hostText, m_folder)) {
        Add(Severity::kError, "folder", "folder-missing", "no package folder at " + hostFolder);
        return;
    }
    while (!m_folder.empty() && m_folder.back() == '\\') {
        m_folder.pop_back();
    }
    // The installer finds everything from its own path: let it lie in this folder.
    platform::posix::OverrideModulePath(m_folder + "\\" + kInstallerNames[0]);

    CheckInstaller();
    for (int level = 1; level <= 4; ++level) {
        CheckLevel(level);
    }
    CheckRecordSource();
    CheckDatabases();
    platform::posix::OverrideModulePath("");
}

void Checker::CheckInstaller() {
    for (const char* name : kInstallerNames) {
        if (platform::FileExists(m_folder + "\\" + name)) {
            Add(Severity::kOk, "installer", "installer-present",
                std::string("installer present: ") + name, {{"file", name}});
            return;
        }
    }
    Add(Severity::kError, "installer", "installer-missing",
        "installer missing: neither mivo.exe nor mivo lies in the package folder");
}

void Checker::CheckLevel(int level) {
    const std::string subject = LevelName(level);
    const std::string archive = ArchivePath(level);
    const std::string shown = PackageName(level);
    LevelState& state = m_levels[level];
    state.present = platform::FileExists(archive);
    if (!state.present) {
        Add(Severity::kNote, subject, "archive-absent",
            shown + " absent: exam numbers of " + LevelLabel(level) + " are refused",
            {{"archive", shown}});
        return;
    }
    Add(Severity::kOk, subject, "archive-present", shown + " present", {{"archive", shown}});

    const ArchiveTest test = TestArchive(archive);
    if (!test.opened) {
        Add(Severity::kError, subject, "archive-unreadable",
            platform::StringPrintf("archive cannot be opened: error %d: %s", test.code,
                                   test.description.c_str()),
            {{"code", test.code}, {"description", test.description}});
    } else if (!test.sound) {
        Add(Severity::kError, subject, "archive-damaged",
            platform::StringPrintf("archive damaged at entry %s: error %d: %s", test.entry.c_str(),
                                   test.code, test.description.c_str()),
            {{"entries", test.entries},
             {"entry", test.entry},
             {"code", test.code},
             {"description", test.description}});
    } else {
        Add(Severity::kOk, subject, "archive-sound",
            platform::StringPrintf("archive sound: %llu entries OK",
                                   static_cast<unsigned long long>(test.entries)),
            {{"entries", test.entries}});
    }

    state.record = ReadRecordInMemory(archive);
    const RecordRead& read = state.record;
    if (!read.found) {
        if (read.errorCode != 0) {
            Add(Severity::kError, subject, "record-unreadable",
                platform::StringPrintf("level record cannot be read: error %d: %s", read.errorCode,
                                       read.error.c_str()),
                {{"code", read.errorCode}, {"description", read.error}});
        } else {
            Add(Severity::kError, subject, "record-missing",
                "no level record (no entry named *LEVELINFO.DAT that reads whole)");
        }
    } else {
        const CLevelRecord& r = read.record;
        const std::string title = CMivoDlg::ExamTitle(r.ExamOrdinal(), r.Level(), r.ExamKind());
        const ExamShortcutText shortcut = ExamShortcutFor(r.ExamOrdinal(), r.ExamKind());
        Add(Severity::kOk, subject, "record",
            platform::StringPrintf(
                "record %s: ordinal %d, level %d (%s), kind %d (%s), company codes %04d, %04d; "
                "title \"%s\", shortcut \"%s\"",
                read.entryName.c_str(), r.ExamOrdinal(), r.Level(), LevelLabel(r.Level()).c_str(),
                r.ExamKind(), KindWords(r.ExamKind()).c_str(), r.CompanyCode1(), r.CompanyCode2(),
                title.c_str(), shortcut.fileName.c_str()),
            {{"entry", read.entryName},
             {"bytes", read.size},
             {"ordinal", r.ExamOrdinal()},
             {"level", r.Level()},
             {"examKind", r.ExamKind()},
             {"companyCode1", r.CompanyCode1()},
             {"companyCode2", r.CompanyCode2()},
             {"title", title},
             {"shortcut", shortcut.fileName},
             {"shortcutDescription", shortcut.description}});
        if (r.Level() != level) {
            Add(Severity::kError, subject, "record-level-mismatch",
                platform::StringPrintf("the record names level %d, but lies in the archive of "
                                       "level %d",
                                       r.Level(), level),
                {{"recordLevel", r.Level()}, {"archiveLevel", level}});
        }
        if (read.size != kLevelRecordSize) {
            Add(Severity::kWarning, subject, "record-size",
                platform::StringPrintf("the record has %llu bytes, not %zu (a short one reads "
                                       "as zeros past its end)",
                                       static_cast<unsigned long long>(read.size),
                                       kLevelRecordSize),
                {{"bytes", read.size}});
        }
        if (!platform::SameNameNoCase(read.entryName, kInstalledRecordEntry)) {
            Add(Severity::kError, subject, "record-misplaced",
                "the record lies at " + read.entryName + ", but the installation stamps " +
                    kInstalledRecordEntry + " (no stamp, no reinstall question)",
                {{"entry", read.entryName}});
        }
    }

    if (test.opened) {
        std::vector<std::string> missing;
        for (const char* program : kProgramFiles) {
            if (std::none_of(test.names.begin(), test.names.end(), [&](const std::string& name) {
                    return platform::SameNameNoCase(name, program);
                })) {
                missing.push_back(program);
            }
        }
        if (missing.empty()) {
            Add(Severity::kOk, subject, "program-files-present",
                "program files the installation copies present: Lumisave.exe, VemraExam.exe");
        } else {
            std::string list;
            for (const std::string& name : missing) {
                list += (list.empty() ? "" : ", ") + name;
            }
            Add(Severity::kError, subject, "program-files-missing",
                "program files the installation copies missing at the archive's root: " + list,
                {{"missing", missing}});
        }
    }
}

void Checker::CheckRecordSource() {
    const int source = RecordPackageLevel(m_folder);
    const LevelState& state = m_levels[source];
    const json data = {{"level", source}, {"archive", PackageName(source)}};
    if (!state.present) {
        Add(Severity::kError, "installer", "record-source-missing",
            "the installer reads its level record from " + PackageName(source) +
                " (order Level3, Level4, Level2), which is absent: it would run with ordinal 0",
            data);
    } else if (!state.record.found) {
        Add(Severity::kError, "installer", "record-source-unreadable",
            "the installer reads its level record from " + LevelName(source) +
                ", which has none it can read: it would run with ordinal 0",
            data);
    } else {
        const CLevelRecord& r = state.record.record;
        m_ordinal = r.ExamOrdinal();
        m_level = r.Level();
        m_kind = r.ExamKind();
        Add(Severity::kOk, "installer", "record-source",
            "the installer reads its level record from " + LevelName(source) +
                " (order Level3, Level4, Level2): title \"" +
                CMivoDlg::ExamTitle(m_ordinal, m_level, m_kind) + "\"",
            data);
    }

    // Every level is installed under the title, exam-number rules and shortcut of that one
    // record: a level whose own record says otherwise would be installed as another exam.
    const CLevelRecord* reference = state.record.found ? &state.record.record : nullptr;
    int referenceLevel = source;
    for (int level = 1; level <= 4 && reference == nullptr; ++level) {
        if (m_levels[level].record.found) {
            reference = &m_levels[level].record.record;
            referenceLevel = level;
        }
    }
    for (int level = 1; level <= 4 && reference != nullptr; ++level) {
        const RecordRead& read = m_levels[level].record;
        if (!read.found || level == referenceLevel) {
            continue;
        }
        const CLevelRecord& r = read.record;
        if (r.ExamOrdinal() != reference->ExamOrdinal() || r.ExamKind() != reference->ExamKind()) {
            Add(Severity::kError, LevelName(level), "record-disagrees",
                platform::StringPrintf("the record says ordinal %d, kind %d where %s's says "
                                       "ordinal %d, kind %d",
                                       r.ExamOrdinal(), r.ExamKind(),
                                       LevelName(referenceLevel).c_str(), reference->ExamOrdinal(),
                                       reference->ExamKind()),
                {{"ordinal", r.ExamOrdinal()},
                 {"examKind", r.ExamKind()},
                 {"against", LevelName(referenceLevel)},
                 {"againstOrdinal", reference->ExamOrdinal()},
                 {"againstExamKind", reference->ExamKind()}});
        }
    }
}

void Checker::CheckDatabases() {
    // Without the record the installer reads, the databases are still named by the ordinal
    // the other levels' records give, so that their faults show too.
    int ordinal = m_ordinal;
    for (int level = 1; level <= 4 && ordinal == 0; ++level) {
        ordinal = m_levels[level].record.found ? m_levels[level].record.record.ExamOrdinal() : 0;
    }
    if (ordinal == 0) {
        Add(Severity::kError, "databases", "database-unknown",
            "no level record names the exam ordinal: no package database can be named");
        return;
    }
    // Each database file with the levels whose examinees it holds, in the installer's naming.
    std::map<std::string, std::vector<int>> files;
    for (int level = 1; level <= 4; ++level) {
        if (m_levels[level].present) {
            files[PackageDatabasePath(ordinal, level)].push_back(level);
        }
    }
    const std::string used = m_ordinal != 0 ? PackageDatabasePath(m_ordinal, m_level) : "";
    if (!used.empty()) {
        files.try_emplace(used);
    }
    for (const auto& [path, levels] : files) {
        CheckDatabase(path, levels, path == used);
    }
}

void Checker::CheckDatabase(const std::string& path, const std::vector<int>& levels, bool used) {
    const std::string subject = Relative(path);
    std::string labels;
    for (int level : levels) {
        labels += (labels.empty() ? "" : ", ") + LevelLabel(level);
    }
    const std::string role =
        used ? "the register the installer asks"
             : "not asked while the record comes from " + LevelName(RecordPackageLevel(m_folder));
    if (!platform::FileExists(path)) {
        Add(Severity::kError, subject, "database-missing",
            "package database missing (" + role +
                "): examinees would install without a register "
                "check",
            {{"levels", levels}, {"usedByInstaller", used}});
        return;
    }
    // The installer's own dialog object carries the connection, so that its own lookup can
    // be asked about every registered examinee.
    CMivoDlg dialog;
    dialog.m_packageDb.SetBusyTimeout(kBusyTimeoutSeconds);
    json rows;
    try {
        dialog.m_packageDb.OpenReadOnly(path);
        const std::string integrity = dialog.m_packageDb.QueryText("pragma integrity_check;");
        if (integrity != "ok") {
            Add(Severity::kError, subject, "database-damaged",
                "integrity check answers \"" + integrity + "\": the installer skips the register",
                {{"integrity", integrity}});
            return;
        }
    } catch (const CSqliteException& error) {
        Add(Severity::kError, subject, "database-unreadable",
            "package database cannot be opened: " + error.Message(),
            {{"code", error.Code()}, {"message", error.Message()}});
        return;
    }
    Add(Severity::kOk, subject, "database-opens",
        "opens, integrity ok (" + role + "; database of " + (labels.empty() ? "-" : labels) + ")",
        {{"levels", levels}, {"usedByInstaller", used}});
    try {
        // The whole register in one row: the access layer reads first rows only.
        rows = json::parse(dialog.m_packageDb.QueryText(
            "select json_group_array(json_array(No, Name)) from Examinee;"));
    } catch (const CSqliteException& error) {
        Add(Severity::kError, subject, "examinee-table-missing",
            "no examinee table the lookup can ask: " + error.Message() +
                " (every examinee would install without a register check)",
            {{"code", error.Code()}, {"message", error.Message()}});
        return;
    } catch (const json::exception& error) {
        Add(Severity::kError, subject, "examinee-table-unreadable",
            std::string("the examinee table cannot be listed: ") + error.what());
        return;
    }
    dialog.m_dbOpen = 1;
    CheckExaminees(dialog, subject, rows);
}

void Checker::CheckExaminees(CMivoDlg& dialog, const std::string& subject, const json& rows) {
    struct Row {
        std::string number;
        std::string name;
    };
    std::vector<Row> register_;
    for (const json& row : rows) {
        auto text = [](const json& value) {
            return value.is_string() ? value.get<std::string>()
                   : value.is_null() ? std::string()
                                     : value.dump();
        };
        register_.push_back({text(row.at(0)), text(row.at(1))});
    }
    if (register_.empty()) {
        Add(Severity::kError, subject, "examinees-none",
            "the examinee table is empty: every examinee would be refused", {{"examinees", 0}});
        return;
    }
    Add(Severity::kOk, subject, "examinees", Counted(register_.size(), "examinee", "examinees"),
        {{"examinees", register_.size()}});

    std::map<std::string, int> seen;
    for (const Row& row : register_) {
        ++seen[row.number];
    }

    // Numbers that no level accepts: the confirmation dialog's own rules for the exam the
    // installer reads, then the level package the number names.
    json refused = json::array();
    json notFound = json::array();
    std::string refusedText;
    std::string notFoundText;
    bool lookupFailed = false;
    std::map<std::u16string, std::vector<const Row*>> alike;
    for (const Row& row : register_) {
        if (!TrimText(row.name).empty()) {
            alike[NormalisedName(TrimText(row.name))].push_back(&row);
        }
        int level = 0;
        std::string reason;
        switch (CSetUpComformDlg::JudgeExamNumber(row.number, m_ordinal, m_kind, level)) {
            case Verdict::kWrongLength:
                reason = "not eight characters";
                break;
            case Verdict::kWrongNumber:
                reason = "refused by the exam-number rules";
                break;
            case Verdict::kWrongPastExamNumber:
                reason = "not a past-exam number";
                break;
            case Verdict::kAccepted:
                if (TrimText(row.number) != row.number) {
                    reason = "blanks around it, which typing never matches";
                } else if (!m_levels[level].present) {
                    reason = LevelName(level) + " absent";
                }
                break;
        }
        if (!reason.empty()) {
            if (refused.size() < kExamplesShown) {
                refusedText += (refusedText.empty() ? "" : ", ") + row.number + " (" + reason + ")";
            }
            refused.push_back({{"number", row.number}, {"reason", reason}});
            continue;
        }
        const std::string name = TrimText(row.name);
        if (CSetUpComformDlg::IsReservedExamNumber(row.number) || lookupFailed) {
            continue;
        }
        // The examinee types the number and the name as registered: the installer's own
        // lookup must answer with that name.
        const std::string answer = LookupExaminee(dialog, row.number, name);
        if (answer == kLookupPass) {
            lookupFailed = true;
            Add(Severity::kError, subject, "lookup-failed",
                "the installer's lookup fails on this register: every examinee would install "
                "without a register check");
        } else if (answer.empty()) {
            const std::string why = name.empty()           ? "no name"
                                    : seen[row.number] > 1 ? "number registered twice"
                                                           : "not found by its number";
            if (notFound.size() < kExamplesShown) {
                notFoundText += (notFoundText.empty() ? "" : ", ") + row.number + " (" + why + ")";
            }
            notFound.push_back({{"number", row.number}, {"name", row.name}, {"reason", why}});
        }
    }
    if (!refused.empty()) {
        Add(Severity::kError, subject, "numbers-refused",
            Counted(refused.size(), "examinee number", "examinee numbers") + " no level accepts: " +
                refusedText + (refused.size() > kExamplesShown ? ", ..." : ""),
            {{"numbers", refused}});
    }
    if (!notFound.empty()) {
        Add(Severity::kError, subject, "examinees-refused",
            Counted(notFound.size(), "examinee", "examinees") +
                " the register refuses under their own name: " + notFoundText +
                (notFound.size() > kExamplesShown ? ", ..." : ""),
            {{"examinees", notFound}});
    }

    json duplicates = json::array();
    std::string duplicateText;
    for (const auto& [number, count] : seen) {
        if (count > 1) {
            if (duplicates.size() < kExamplesShown) {
                duplicateText += (duplicateText.empty() ? "" : ", ") + number +
                                 platform::StringPrintf(" (%d times)", count);
            }
            duplicates.push_back({{"number", number}, {"count", count}});
        }
    }
    if (!duplicates.empty()) {
        Add(Severity::kError, subject, "numbers-duplicate",
            Counted(duplicates.size(), "exam number", "exam numbers") +
                " registered more than once: " + duplicateText,
            {{"numbers", duplicates}});
    }

    json groups = json::array();
    std::string alikeText;
    for (const auto& [key, group] : alike) {
        std::set<std::string> numbers;
        for (const Row* row : group) {
            numbers.insert(row->number);
        }
        if (numbers.size() < 2) {
            continue;
        }
        json members = json::array();
        std::string line;
        for (const Row* row : group) {
            members.push_back({{"number", row->number}, {"name", row->name}});
            line += (line.empty() ? "" : " = ") + TrimText(row->name) + " (" + row->number + ")";
        }
        if (groups.size() < kExamplesShown) {
            alikeText += (alikeText.empty() ? "" : "; ") + line;
        }
        groups.push_back(members);
    }
    if (!groups.empty()) {
        Add(Severity::kWarning, subject, "names-alike",
            Counted(groups.size(), "group of names", "groups of names") +
                " the lookup cannot tell apart: " + alikeText,
            {{"groups", groups}});
    }
}

const char* SeverityWord(Severity severity) {
    switch (severity) {
        case Severity::kOk:
            return "ok";
        case Severity::kNote:
            return "note";
        case Severity::kWarning:
            return "warning";
        case Severity::kError:
            return "error";
    }
    return "?";
}

}  // namespace

size_t CheckReport::Count(Severity severity) const {
    return static_cast<size_t>(
        std::count_if(findings.begin(), findings.end(),
                      [&](const Finding& finding) { return finding.severity == severity; }));
}

CheckReport CheckPackageFolder(const std::string& hostFolder) {
    CheckReport report;
    report.folder = hostFolder;
    Checker(report).Run(hostFolder);
    return report;
}

std::string ReportText(const CheckReport& report) {
    size_t width = 0;
    for (const Finding& finding : report.findings) {
        width = std::max(width, finding.subject.size());
    }
    std::string out;
    for (const Finding& finding : report.findings) {
        out += platform::StringPrintf("%-7s  %-*s  %s\n", SeverityWord(finding.severity),
                                      static_cast<int>(width), finding.subject.c_str(),
                                      finding.text.c_str());
    }
    out += "summary: " + Counted(report.Count(Severity::kError), "error", "errors") + ", " +
           Counted(report.Count(Severity::kWarning), "warning", "warnings") + ", " +
           Counted(report.Count(Severity::kNote), "note", "notes") + ": " +
           (report.Passed() ? "the installer would install every level from this folder"
                            : "NOT ready: fix the errors before copying this folder") +
           "\n";
    return out;
}

json ReportJson(const CheckReport& report) {
    json findings = json::array();
    for (const Finding& finding : report.findings) {
        findings.push_back({{"severity", SeverityWord(finding.severity)},
                            {"subject", finding.subject},
                            {"kind", finding.kind},
                            {"text", finding.text},
                            {"data", finding.data}});
    }
    return {{"folder", report.folder},
            {"findings", findings},
            {"summary",
             {{"ok", report.Count(Severity::kOk)},
              {"notes", report.Count(Severity::kNote)},
              {"warnings", report.Count(Severity::kWarning)},
              {"errors", report.Count(Severity::kError)},
              {"passed", report.Passed()}}}};
}

}  // namespace package

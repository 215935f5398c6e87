// Level records and reading them out of exam packages.
#include "install/level_record.h"

#include <algorithm>

#include "fileutil/folder_tree.h"
#include "install/main_program.h"
#include "install/mivo_dlg.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/text.h"
#include "ui/view.h"
#include "zip/zip_reader.h"

int32_t CLevelRecord::I32(size_t at) const {
    const uint32_t v = m_bytes[at] | (m_bytes[at + 1] << 8) | (m_bytes[at + 2] << 16) |
                       (static_cast<uint32_t>(m_bytes[at + 3]) << 24);
    return static_cast<int32_t>(v);
}

CLevelRecord CLevelRecord::FromBytes(const uint8_t* data, size_t size) {
    CLevelRecord record;
    std::copy_n(data, std::min(size, kLevelRecordSize), record.m_bytes.begin());
    return record;
}

void CLevelRecord::SetText(size_t at, const std::string& text) {
    std::u16string units = platform::Utf8ToUtf16(text);
    if (units.size() > kLevelRecordTextUnits - 1) {
        units.resize(kLevelRecordTextUnits - 1);
    }
    units.push_back(0);
    for (size_t i = 0; i < units.size(); ++i) {
        m_bytes[at + 2 * i] = static_cast<uint8_t>(units[i] & 0xFF);
        m_bytes[at + 2 * i + 1] = static_cast<uint8_t>(units[i] >> 8);
    }
}

std::string CLevelRecord::Text(size_t at) const {
    std::u16string units;
    for (size_t i = 0; i < kLevelRecordTextUnits; ++i) {
        const char16_t u = static_cast<char16_t>(U16(at + 2 * i));
        if (u == 0) {
            break;
        }
        units.push_back(u);
    }
    return platform::Utf16ToUtf8(units);
}

bool ReadLevelRecordFile(const std::string& path, CLevelRecord& record) {
    platform::CrtFile file;
    if (file.Open(path, platform::CrtFile::kRead | platform::CrtFile::kBinary,
                  platform::CrtFile::kDenyNone) != 0) {
        return false;
    }
    std::array<uint8_t, kLevelRecordSize> bytes{};
    size_t got = 0;
    file.Read(bytes.data(), kLevelRecordSize, got);
    file.Close();
    record = CLevelRecord::FromBytes(bytes.data(), got);
    return true;
}

std::string GetPackageFolder() {
    const std::string module = platform::ModulePath();
    const auto slash = module.rfind('\\');
    return slash == std::string::npos ? module : module.substr(0, slash);
}

std::string PackageName(int level) {
    if (level < 1 || level > 4) {
        return "";
    }
    return platform::StringPrintf("BaseData\\Level%d\\VemraExamDB.zip", level);
}

std::string LevelLabel(int level) {
    static const char* const kLabels[] = {"세무1급", "세무2급", "회계1급", "회계2급"};
    return level >= 1 && level <= 4 ? kLabels[level - 1] : "";
}

int DisplayedGrade(int level) {
    return level > 2 ? level - 2 : level;
}

std::string FieldWord(int level) {
    return level / 3 == 0 ? "세무" : "회계";
}

bool IsLevelMatch(int packageLevel, int installedLevel) {
    if (packageLevel == 1 || packageLevel == 3) {
        return installedLevel == 1 || installedLevel == 3;
    }
    return installedLevel == packageLevel;
}

std::string InstalledLevelRecordPath() {
    return platform::StringPrintf("%c:\\%s\\LevelInfo.dat", GetTargetDriveLetter(),
                                  "VemraExamDB\\Vemra");
}

namespace {

// Shows the system's text for a reader error that a failed system call made (a missing or
// locked package); true when a box was shown. A damaged archive shows none here.
bool ShowSystemCause(const CZipError& error) {
    const std::string text = error.SystemCauseText();
    if (text.empty()) {
        return false;
    }
    ui::MessageBox(text, ui::kMbOk);
    return true;
}

// Reads the level record out of one archive; false when none was read, with `*told` (when
// given) saying whether a message said why.
bool ReadRecordFromArchive(const std::string& packageFolder, const std::string& archive,
                           CLevelRecord& record, bool* told = nullptr) {
    const auto tell = [told](bool shown) {
        if (told != nullptr) {
            *told = shown;
        }
    };
    tell(false);
    CZipReader zip;
    bool found = false;
    try {
        // Packages are only read: opening them read-only lets write-protected media work.
        zip.Open(archive, CZipReader::kModeReadOnly);
        zip.SetActionCallback(nullptr,
                              CZipReader::kCallbackExtract | CZipReader::kCallbackUnconsulted);
        const std::string scratch =
            platform::StringPrintf("%s\\%s\\", packageFolder.c_str(), kExamDataFolderName);
        for (uint64_t i = 0; i < zip.GetEntryCount(); ++i) {
            CZipEntry* entry = zip.GetEntryInfo(i);
            if (entry == nullptr) {
                continue;
            }
            if (!IsLevelRecordEntryName(entry->GetFileName()) || !zip.ExtractEntry(i, scratch)) {
                continue;
            }
            const std::string upper = platform::UpperAscii(entry->GetFileName());
            const std::string extracted = platform::StringPrintf(
                "%s\\%s\\%s", packageFolder.c_str(), kExamDataFolderName, upper.c_str());
            if (ReadLevelRecordFile(extracted, record)) {
                RemoveTree(
                    platform::StringPrintf("%s\\%s", packageFolder.c_str(), kExamDataFolderName));
                found = true;
            } else {
                const uint32_t error = platform::LastError();
                const std::string text = error != 0 ? platform::FormatSystemError(error) : "";
                ui::MessageBox(platform::StringPrintf(
                                   "Zip Open - LEVELINFO.DAT - Failed : %s, %d, err : %s",
                                   extracted.c_str(), static_cast<int>(error), text.c_str()),
                               ui::kMbOk);
                tell(true);
            }
            break;
        }
        zip.Close(CZipReader::kCloseNormal);
    } catch (const CZipError& error) {
        zip.Close(CZipReader::kCloseAfterException);
        tell(ShowSystemCause(error));
        return false;
    }
    return found;
}

}  // namespace

bool IsLevelRecordEntryName(const std::string& name) {
    return platform::UpperAscii(name).find("LEVELINFO.DAT") != std::string::npos;
}

int RecordPackageLevel(const std::string& packageFolder) {
    for (int candidate : {3, 4}) {
        if (platform::FileExists(platform::StringPrintf("%s\\%s", packageFolder.c_str(),
                                                        PackageName(candidate).c_str()))) {
            return candidate;
        }
    }
    return 2;
}

std::string RecordPackagePath(const std::string& packageFolder) {
    return platform::StringPrintf("%s\\%s", packageFolder.c_str(),
                                  PackageName(RecordPackageLevel(packageFolder)).c_str());
}

bool ReadLevelRecordFromPackage(CMivoDlg& dialog, int& ordinal, int& level, bool* told) {
    const std::string folder = GetPackageFolder();
    const std::string archive = RecordPackagePath(folder);
    CLevelRecord record;
    if (!ReadRecordFromArchive(folder, archive, record, told)) {
        return false;
    }
    ordinal = record.ExamOrdinal();
    level = record.Level();
    dialog.m_examKind = record.ExamKind();
    return true;
}

void ShowPackageSummary() {
    const std::string folder = GetPackageFolder();
    std::string summary;
    for (int n = 1; n <= 4; ++n) {
        const std::string archive =
            platform::StringPrintf("%s\\BaseData\\Level%d\\VemraExamDB.zip", folder.c_str(), n);
        if (!platform::FileExists(archive)) {
            continue;
        }
        CLevelRecord record;
        if (ReadRecordFromArchive(folder, archive, record)) {
            summary += platform::StringPrintf("%d회  Level%d   회사코드: %04d, %04d \n\n",
                                              record.ExamOrdinal(), record.Level(),
                                              record.CompanyCode1(), record.CompanyCode2());
        }
    }
    ui::MessageBox(summary, ui::kMbOk);
}

// The exam level record (the 388-byte LevelInfo.dat), the package folder's layout, and
// reading the record out of an exam package.
#pragma once

#include <array>
#include <cstdint>
#include <string>

class CMivoDlg;

/// Size of the level record in bytes.
inline constexpr size_t kLevelRecordSize = 388;
/// Units of the exam number and name fields (20 and a terminator).
inline constexpr size_t kLevelRecordTextUnits = 21;
/// Name of the exam-data folder at the target drive's root and of the scratch folder.
inline constexpr const char* kExamDataFolderName = "VemraExamDB";

/// The level record as bytes with typed access to its fields; reserved bytes are kept.
class CLevelRecord {
public:
    CLevelRecord() { m_bytes.fill(0); }
    /// The record of a record file's first `size` bytes: at most 388 are used, and a
    /// shorter file leaves the rest zero.
    static CLevelRecord FromBytes(const uint8_t* data, size_t size);

    int ExamOrdinal() const { return U16(0); }
    int Level() const { return U16(2); }
    int32_t CompanyCode1() const { return I32(8); }
    int32_t CompanyCode2() const { return I32(12); }
    int32_t ExamKind() const { return I32(108); }
    /// Writes the first 20 UTF-16 units of the text and a terminator; units behind the
    /// terminator keep their old contents.
    void SetExamNumber(const std::string& text) { SetText(16, text); }
    void SetExamineeName(const std::string& text) { SetText(58, text); }
    std::string ExamNumber() const { return Text(16); }
    std::string ExamineeName() const { return Text(58); }

    std::array<uint8_t, kLevelRecordSize>& Bytes() { return m_bytes; }
    const std::array<uint8_t, kLevelRecordSize>& Bytes() const { return m_bytes; }

private:
    int U16(size_t at) const { return m_bytes[at] | (m_bytes[at + 1] << 8); }
    int32_t I32(size_t at) const;
    void SetText(size_t at, const std::string& text);
    std::string Text(size_t at) const;

    std::array<uint8_t, kLevelRecordSize> m_bytes;  // little-endian record
};

/// Reads at most 388 bytes of a record file into `record` (a shorter file leaves the rest
/// zero). False when the file cannot be opened for reading.
bool ReadLevelRecordFile(const std::string& path, CLevelRecord& record);

/// True when an archive entry holds a level record: its name, upper-cased as the default C
/// locale does (the letters a to z only), contains "LEVELINFO.DAT".
bool IsLevelRecordEntryName(const std::string& name);

/// The level whose package the record is read from: 3 when its package exists in
/// `packageFolder`, else 4 when that one exists, else 2 (even when it is missing too).
int RecordPackageLevel(const std::string& packageFolder);

/// The folder of the installer executable (its path cut before the last backslash).
std::string GetPackageFolder();

/// "BaseData\LevelN\VemraExamDB.zip" for levels 1-4; empty for any other level.
std::string PackageName(int level);

/// The label of a level ("세무1급" ...); empty for other levels.
std::string LevelLabel(int level);

/// Level − 2 above level 2, else the level: levels 1 and 3 are grade 1, 2 and 4 grade 2.
int DisplayedGrade(int level);

/// "세무" for levels 1 and 2, "회계" otherwise.
std::string FieldWord(int level);

/// True when an installed record of `installedLevel` is the same exam level as a package
/// of `packageLevel`: 1 and 3 match each other, the others only themselves.
bool IsLevelMatch(int packageLevel, int installedLevel);

/// The installed record's path on the target drive ("%c:\%s\LevelInfo.dat").
std::string InstalledLevelRecordPath();

/// The path of that package (RecordPackageLevel's) below `packageFolder`.
std::string RecordPackagePath(const std::string& packageFolder);

/// Reads the level record out of the package of RecordPackagePath, sets `ordinal`, `level`
/// and the dialog's exam kind, and removes the scratch folder. False when no record was
/// read; the messages of a failure have been shown, and `*told` (when given) says whether
/// there was one (a damaged archive, or one without a record, shows none).
bool ReadLevelRecordFromPackage(CMivoDlg& dialog, int& ordinal, int& level,
                                bool* told = nullptr);

/// Shows one message box listing the level record of every level package present.
void ShowPackageSummary();

// The package database beside the exam packages: located, checked for integrity before the
// confirmation dialog, and asked whether an exam number and a name belong together.
#pragma once

#include <string>

class CMivoDlg;

/// The answer of LookupExaminee when no usable database is there: the check is skipped.
inline constexpr const char* kLookupPass = "pass";

/// The database kind of an exam level: 3 for levels 1 and 3, 2 for level 2, 4 for level 4
/// of ordinals 91 to 102 and 2 for other ordinals, 0 for other levels.
int DatabaseKind(int ordinal, int level);

/// The database file: "%s\%s\PData_%d_%d.DBS" with the package folder and "BaseData".
std::string PackageDatabasePath(int ordinal, int level);

/// Opens the exam's database and runs the integrity check; sets the dialog's open flag
/// when it passed. Shows nothing.
void CheckPackageDatabase(int ordinal, CMivoDlg& dialog, int level);

/// The registered name of the examinee when the number and the name belong together; ""
/// when they do not; "pass" when no usable database is there.
std::string LookupExaminee(CMivoDlg& dialog, const std::string& examNumber,
                           const std::string& name);

/// A name as the lookup compares it: without blanks and hyphens, in upper case. Two
/// spellings of a name are the same name when these are equal.
std::u16string NormalisedName(const std::string& name);

/// Blanks, tabs and line breaks removed from both ends.
std::string TrimText(const std::string& text);

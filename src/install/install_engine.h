// The installation engine: after the examinee's confirmation it clears the previous
// installation, extracts the chosen level's package onto the target drive, records it, and
// puts the companion files in place; then it stamps the installed level record.
#pragma once

#include <string>

class CMivoDlg;

/// The part of the installer's path before the first ":\" (normally its drive letter);
/// empty when there is none.
std::string GetInstallerDrive();

/// The whole installation of the main dialog's level. Ends the process (exit code 0) when
/// the previous installation cannot be removed safely.
void InstallExamPackage(CMivoDlg& dialog);

/// Removes the previous installation and extracts the package; answers 1.
int ExtractExamPackage(CMivoDlg& dialog);

/// Extracts every entry of the package below `folder`. 1 when the archive was read to its
/// end or to an entry that could not be extracted; 0 after a failure, which has been shown.
int ExtractArchive(const std::string& package, const std::string& folder);

/// The 388-byte display marker in the company folder of the installed record.
void WriteDisplayMarker();

/// Copies Lumisave.exe and VemraExam.exe from the installed tree to the Vemra folder.
void CopyProgramFiles();

/// Places the two companion tools on the installer's drive when the rules allow it.
void PlaceCompanionTools(CMivoDlg& dialog, const std::string& mainProgramFolder);

/// Writes the exam number and the name into the installed level record.
void StampLevelRecord(CMivoDlg& dialog);

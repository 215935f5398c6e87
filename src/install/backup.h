// Saving and clearing a previous installation before a package is extracted: the answer
// backup on the removable drive the installer runs from, and the time-stamped backups under
// each fixed drive's Temp folder followed by the removal of the installed exam data.
#pragma once

#include <string>

class CMivoDlg;

/// Rebuilds the hidden answer backup "<driveRoot>VemraExamDB_Install" (driveRoot such as
/// "E:\", ending in a backslash) from the installed answer folder: every subfolder but
/// "_Def" and the file "Answer.dat" (names compared case-sensitively). Reports nothing;
/// when the backup folder cannot be made nothing is copied, and a missing answer folder
/// leaves an empty hidden backup folder.
void BackUpAnswersToDrive(const std::string& driveRoot);

/// Backs up the exam data on every fixed drive into "<L>:\Temp\VemraExamDB_MMDDhhmmss_Inst"
/// (one time stamp per call) and deletes the installed exam data on the target drive, but
/// only once its backup is complete. Returns 1 when the installation may proceed (also
/// when nothing was installed); 0 when the installed data could not be backed up in full,
/// after the message has been shown: the installed data is then left untouched, and the
/// caller must end the process. `dialog` only owns the wait cursor.
int RemovePreviousInstallation(CMivoDlg& dialog);

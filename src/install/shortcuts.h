// The end of an installation: the exam's desktop shortcut, the start of the main program,
// and the removal of the answer-folder shortcut from the desktops. None of these steps
// reports a failure to the user; the installation is complete whatever they answer.
#pragma once

#include <cstdint>
#include <string>

class CMivoDlg;

/// The desktop shortcut of an exam: its file name (without the desktop folder) and its
/// description, by ordinal (1000 and more: a special exam) and exam kind (2: competition).
struct ExamShortcutText {
    std::string fileName;     // "제112회 전산 세무회계.lnk"
    std::string description;  // "제112회 전산세무회계자격시험"
};
ExamShortcutText ExamShortcutFor(int32_t ordinal, int32_t examKind);

/// Writes the desktop shortcut named after the exam (its ordinal, and the exam kind of
/// `dlg`; the level plays no part) to the main program, then starts the main program.
/// Always answers 1: a shortcut that cannot be written or a program that does not start
/// is left silent.
int CreateExamShortcutAndLaunch(int32_t level, CMivoDlg& dlg, int32_t ordinal);

/// Writes a shell link at `linkPath` to `target` with `description`, no arguments and the
/// target's first icon, replacing an existing link. Answers S_OK (0) or an HRESULT failure
/// (0x80070005 for a read-only link or a folder of that name, 0x80070003 for a missing
/// folder, other 0x8007xxxx codes for write errors).
long CreateShellLink(const std::string& target, const std::string& description,
                     const std::string& linkPath);

/// Deletes "Vemra답안폴더.lnk" from the user's and the common desktop folder where it is
/// found (a file that cannot be deleted stays), then tells the shell that associations
/// changed so the desktops redraw.
void RemoveAnswerFolderShortcut();

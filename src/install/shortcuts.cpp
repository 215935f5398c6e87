// Desktop shortcuts and the start of the main program after an installation.
#include "install/shortcuts.h"

#include "install/main_program.h"
#include "install/mivo_dlg.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/shell.h"
#include "platform/system.h"
#include "platform/text.h"

namespace {

constexpr int32_t kFirstSpecialOrdinal = 1000;  // ordinals from here on mark a special exam
constexpr int32_t kExamKindCompetition = 2;

std::string MainProgramTarget() {
    return platform::StringPrintf("%s\\%s", GetMainProgramPath().c_str(), "VemraExam.exe");
}

// WinExec takes a command line: a path with a blank must be quoted, or Windows would try
// "C:\Program.exe" and its like first and start whatever it finds there.
std::string CommandLineFor(const std::string& program) {
    if (program.find_first_of(" \t") == std::string::npos) {
        return program;
    }
    return "\"" + program + "\"";
}

}  // namespace

ExamShortcutText ExamShortcutFor(int32_t ordinal, int32_t examKind) {
    if (ordinal >= kFirstSpecialOrdinal) {
        return {"제특별회 전산 세무회계.lnk", "제특별회 전산세무회계자격시험"};
    }
    if (examKind == kExamKindCompetition) {
        return {platform::StringPrintf("제%d회 세무회계 경진대회.lnk", ordinal),
                platform::StringPrintf("제%d회 세무회계 경진대회", ordinal)};
    }
    return {platform::StringPrintf("제%d회 전산 세무회계.lnk", ordinal),
            platform::StringPrintf("제%d회 전산세무회계자격시험", ordinal)};
}

int CreateExamShortcutAndLaunch(int32_t /*level*/, CMivoDlg& dlg, int32_t ordinal) {
    std::string desktop;
    // Without a desktop folder there is nowhere sensible to put the shortcut (an empty
    // folder would put it at the root of the current drive); the program still starts.
    if (platform::SpecialFolderPath(platform::kCsidlDesktop, desktop) && !desktop.empty()) {
        const ExamShortcutText shortcut = ExamShortcutFor(ordinal, dlg.m_examKind);
        const std::string linkPath =
            platform::StringPrintf("%s\\%s", desktop.c_str(), shortcut.fileName.c_str());
        CreateShellLink(MainProgramTarget(), shortcut.description, linkPath);
    }
    platform::ExecuteCommand(CommandLineFor(MainProgramTarget()), platform::kShowNormal);
    return 1;
}

long CreateShellLink(const std::string& target, const std::string& description,
                     const std::string& linkPath) {
    platform::ShellLink link;
    link.target = target;
    link.description = description;
    link.arguments = "";
    link.iconPath = target;
    link.iconIndex = 0;
    return platform::SaveShellLink(link, linkPath);
}

void RemoveAnswerFolderShortcut() {
    for (const int csidl :
         {platform::kCsidlDesktopDirectory, platform::kCsidlCommonDesktopDirectory}) {
        std::string folder;
        if (!platform::SpecialFolderPath(csidl, folder) || folder.empty()) {
            continue;
        }
        const std::string path = platform::StringPrintf("%s\\Vemra답안폴더.lnk", folder.c_str());
        platform::FileFinder finder;
        platform::FindData found;
        if (finder.First(path, found)) {
            finder.Close();
            platform::RemoveFile(path);
        }
    }
    platform::NotifyAssociationsChanged();
}

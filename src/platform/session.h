// What the user-interface layer needs of the machine around the program: the scripted
// user's answers (simulated machine only), the screen log, and whether a person is at a
// terminal.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

/// Where the next scripted answer came from.
enum class ScriptAnswer {
    kNoScript,   // the machine names no user script: a person answers
    kAnswer,     // `line` holds the next answer
    kExhausted,  // the script has no answer left
};

/// Takes the next line of the machine's user script. Blank lines and lines beginning with
/// "#" are skipped. The position is shared by every process of the machine, as one person
/// answers every box on one screen.
ScriptAnswer NextScriptedAnswer(std::string& line);

/// Starts the user script over from its first line: a new run of the installer, alone on
/// its machine, is a new person at the screen. Nothing happens without a script.
void RestartUserScript();

/// True when the machine names a user script.
bool HasUserScript();

/// Appends one entry to the screen log (run/screen.log on the simulated machine).
void RecordScreen(const std::string& entry);

/// The host path of a file named relative to the machine folder; tests and scripts use
/// this to signal the scripted user ("wait-for" answers). Empty when there is no machine.
std::string MachineFilePath(const std::string& relative);

/// Waits until the file named relative to the machine folder exists; false after
/// `timeoutMilliseconds` or when there is no machine.
bool WaitForMachineFile(const std::string& relative, uint32_t timeoutMilliseconds);

/// True when standard input is a terminal (a person can answer in the console).
bool StandardInputIsTerminal();

/// Writes a line to standard error (messages for whoever started the program when no view
/// can show them).
void WriteStandardError(const std::string& text);

}  // namespace platform

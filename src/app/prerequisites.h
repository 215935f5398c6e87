// Every test of the main program (installed, complete, recent, not running). Tests answer
// yes or no; their callers show the messages. The locators are the installation's
// (install/main_program.h).
#pragma once

#include <cstdint>
#include <string>

/// The product's name in the installer's messages.
inline constexpr const char* kProductName = "Vemra";
/// The main program's running marker.
inline constexpr const char* kMainProgramMutex = "Sorvane+α";

/// True when the eight component files exist, the database server is new enough and the
/// library "Tandrel.dll" is dated 2024-12-31 or later (an unreadable date passes).
bool CheckMainProgramComponents();

/// False only when the file carries a version resource whose (major, minor, third) is
/// below 3.8.5 and the path names "VemraDBServer.exe"; every read failure passes.
bool IsDbServerVersionSufficient(const std::string& path);

/// A modification time (seconds since 1970 UTC) as a local date; all 0 when it cannot
/// be converted.
void GetFileDate(int64_t time, int& year, int& month, int& day);

/// True when "path" is set and "VemraExam.exe" exists there.
bool IsMainProgramInstalled();

/// True when the uninstall key's "DisplayVersion" is above 1.0.
bool IsMainProgramVersionSufficient();

/// True when "PackingDate" is 20250814 or later.
bool IsPackingDateCurrent();

/// Returns (always true) only once the main program is not running; until then it asks
/// the user, again and again, to end it.
bool WaitForMainProgramExit();

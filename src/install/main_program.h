// Where the main program lives and its database server: the installation's locators. They
// sit with the installation, their only user; the tests of the main program stay with the
// application shell.
#pragma once

#include <string>

/// The window title of the main program's database server while it runs.
inline constexpr const char* kDbServerWindowTitle = "DBMS Server";

/// Starts the database server unless its window is already there; failures are silent.
void StartDatabaseServer();

/// The main program's folder: "path", or "%c:\Vemra" on the target drive when the key is
/// missing.
std::string GetMainProgramPath();

/// The drive letter of the system folder: the drive all exam data goes to.
char GetTargetDriveLetter();

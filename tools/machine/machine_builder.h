// Builds simulated Windows machines for the tests and the demo: machine.ini, registry.reg,
// the drives, the main program's files as its setup leaves them, the stand-ins in the
// [programs] table, and the installer placed in its package folder.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pe_writer.h"

namespace machine {

/// The names of the main program's component files, in the installer's test order.
extern const char* const kComponentFiles[8];

/// The four bytes of a PackingDate number, little-endian.
std::vector<uint8_t> PackingDateBytes(int32_t date);

/// What to build. The defaults give a machine whose every check of the main program passes.
struct MachineRecipe {
    std::string folder;                         // host folder of the machine (made anew)
    char systemDrive = 'C';                     // drive of the system folder
    char packageDrive = 'D';                    // drive of the installer's package folder
    std::string packageDriveType = "fixed";     // fixed, removable, ...
    std::string packageFolder = "MivoPackage";  // below the package drive's root
    std::vector<std::string> extraDrives;       // further [drives] lines ("E = removable, drive_e")
    std::string timezone = "Asia/Seoul";        // [system] timezone

    bool mainProgram = true;        // the main program's files and registry values
    std::string mainProgramFolder;  // "path"; default "<system drive>:\Vemra"
    bool writePathValue = true;     // false: the key exists without "path"
    std::optional<pe::PeVersion> dbServerVersion = pe::PeVersion{3, 8, 5, 0};  // none: no resource
    std::string tandrelDate = "2025-01-15";             // local modification date of Tandrel.dll
    std::optional<std::string> displayVersion = "2.1";  // none: value missing
    std::optional<std::vector<uint8_t>> packingDate = PackingDateBytes(20250901);
    std::vector<std::string> omitComponents;  // component files left out

    std::string installer;                           // host path of the mivo executable to place
    std::string standin;                             // host path of mivo-standin
    std::optional<std::vector<std::string>> script;  // user script lines; none: no script
};

/// Builds the machine. False with a message in `problem` when something cannot be written.
bool BuildMachine(const MachineRecipe& recipe, std::string& problem);

/// Host path of the installer's copy in the machine built from `recipe`.
std::string InstallerHostPath(const MachineRecipe& recipe);

}  // namespace machine

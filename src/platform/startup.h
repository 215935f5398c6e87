// Start-up of the platform layer: what must hold before any other platform call.
#pragma once

#include <string>

namespace platform {

/// Makes the platform ready for the running executable. On Windows there is nothing to
/// find; on the simulated machine this finds the machine the executable lies in and reads
/// its configuration. False with a message for the user (in `problem`) when the program
/// cannot run: no machine, or a configuration file that cannot be read.
bool StartUp(std::string& problem);

}  // namespace platform

// Writes small but valid PE32+ (x86-64) executables, optionally carrying a version
// resource (VS_VERSIONINFO) laid out as Windows' version functions read it. Tests and the
// machine builder use it to give simulated machines real executables with chosen versions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pe {

/// A four-part version a.b.c.d as VS_FIXEDFILEINFO stores it.
struct PeVersion {
    uint16_t major = 0;
    uint16_t minor = 0;
    uint16_t build = 0;
    uint16_t revision = 0;
};

/// What goes into the image.
struct PeImageOptions {
    /// Adds an RT_VERSION resource (id 1, language 0x0409) with this file version.
    bool hasVersion = false;
    PeVersion fileVersion;
    /// The product version of the resource; the file version when not set.
    bool hasProductVersion = false;
    PeVersion productVersion;
    /// When not empty, an RT_RCDATA resource (id 1) with these bytes; its type sorts before
    /// RT_VERSION, so a reader must walk the type directory to find the version.
    std::string rcData;
};

/// "a.b.c.d", the form of the FileVersion and ProductVersion strings.
std::string PeVersionText(const PeVersion& version);

/// The bytes of the image. The code section's entry point returns 0 at once.
std::vector<uint8_t> BuildPeImage(const PeImageOptions& options);

/// Writes an image to a host file (replacing it). False with a message in `problem` when
/// the file cannot be written.
bool WritePeFile(const std::string& hostPath, const PeImageOptions& options, std::string& problem);

/// Writes an image with the file and product version `version`, or without any resource
/// section when `version` is null.
bool WritePeFile(const std::string& hostPath, const PeVersion* version, std::string& problem);

}  // namespace pe

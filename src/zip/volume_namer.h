// Names of the volumes of a split archive: a.z01, a.z02, ..., a.zip for archives split by
// zip tools, and a.001, a.002, ... for archives cut into byte-wise parts.
#pragma once

#include <cstdint>
#include <string>

/// Names the volumes of a split archive from the archive's path.
class CVolumeNamer {
public:
    /// Flags of GetVolumeName.
    static constexpr int kLastVolume = 0x1;
    static constexpr int kExistingArchive = 0x2;

    virtual ~CVolumeNamer() = default;
    /// Remembers what the names are built from.
    virtual void Initialize(const std::string& archivePath) { m_archivePath = archivePath; }
    /// The path of the 1-based volume `number`.
    virtual std::string GetVolumeName(uint32_t number, int flags) const = 0;
    /// The number a volume name carries; 0 when it carries none.
    virtual uint32_t GetVolumeNumber(const std::string& path) const {
        (void)path;
        return 0;
    }

    /// The extension of a path (after the last dot of the last component), or empty.
    static std::string ExtensionOf(const std::string& path);
    /// The path without its extension and its dot.
    static std::string WithoutExtension(const std::string& path);

protected:
    std::string m_archivePath;  // path given to Initialize
};

/// Volumes named as zip tools split: every volume but the last replaces the extension by
/// "z01", "z02", ... ("z100" and on above 99); the last keeps the archive's extension.
class CSplitVolumeNamer : public CVolumeNamer {
public:
    void Initialize(const std::string& archivePath) override;
    std::string GetVolumeName(uint32_t number, int flags) const override;

private:
    std::string m_extension = "zip";  // extension of the archive path
};

/// Byte-wise parts named "001", "002", ... ("1000" and on above 999): for an existing
/// archive the number replaces the extension; when creating it is appended after a dot.
class CBinaryVolumeNamer : public CVolumeNamer {
public:
    std::string GetVolumeName(uint32_t number, int flags) const override;
    /// The number of the extension when it has at least three characters, all digits;
    /// otherwise 0.
    uint32_t GetVolumeNumber(const std::string& path) const override;
};

// One entry of an archive as its central and local headers describe it: sizes, method,
// times, attributes, extra fields, and its name and comment decoded by system and flags.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "zip/byte_buffer.h"

class CZipSource;

/// One extra field (id and data) of a header.
struct CZipExtraField {
    uint16_t id = 0;
    CByteBuffer data;
};

/// The extra fields of one header, in archive order.
class CZipExtraFields {
public:
    /// Parses `size` bytes of an extra field; false when a field runs past the end.
    /// Up to three trailing bytes too short for a field header are padding and ignored.
    bool Parse(const uint8_t* bytes, size_t size);
    /// The field with this id, or null.
    const CZipExtraField* Find(uint16_t id) const;
    /// Removes every field with this id.
    void Remove(uint16_t id);
    size_t Count() const { return m_fields.size(); }
    const CZipExtraField& At(size_t i) const { return m_fields[i]; }

private:
    std::vector<CZipExtraField> m_fields;
};

/// One entry. Names and comments are decoded on first request, then their raw bytes freed.
class CZipEntry {
public:
    /// stringFlags bits.
    static constexpr uint32_t kNameFromUnicodeField = 0x1;
    static constexpr uint32_t kCommentFromUnicodeField = 0x2;
    static constexpr uint32_t kUtf8Strings = 0x4;
    /// General-purpose flag bits.
    static constexpr uint16_t kFlagEncrypted = 0x1;
    static constexpr uint16_t kFlagDataDescriptor = 0x8;
    static constexpr uint16_t kFlagUtf8 = 0x800;
    /// encryption values.
    static constexpr uint8_t kNoEncryption = 255;
    static constexpr uint8_t kTraditionalEncryption = 0;
    /// Compression methods the reader opens.
    static constexpr uint16_t kMethodStored = 0;
    static constexpr uint16_t kMethodDeflate = 8;
    static constexpr uint16_t kMethodBzip2 = 12;
    static constexpr uint16_t kMethodAes = 99;

    CZipEntry() = default;
    virtual ~CZipEntry() = default;

    /// Fills the entry from a central header whose 46 fixed bytes are `fixed`, followed by
    /// `variable` (name, extra field, comment). False when the header is malformed: wrong
    /// signature, an extra field running past its end, a Zip64 field too short.
    bool ReadCentralHeader(const uint8_t* fixed, const uint8_t* variable);

    /// Reads and checks the local header at the storage's current position (the caller has
    /// sought there) against this central header, skipping the checks set in
    /// `ignoredChecks`. False when it fails; CZipError from the storage on short reads.
    bool ReadLocalHeader(CZipSource& storage, uint32_t ignoredChecks);

    /// The decoded name (UTF-8, backslashes as separators); empty when it cannot be decoded.
    const std::string& GetFileName();
    /// The decoded comment.
    const std::string& GetComment();

    /// The Windows attributes extraction gives the entry; CZipError 219 when the entry's
    /// system has no conversion.
    uint32_t GetSystemAttributes();
    /// True when the attributes mark a directory (219 as GetSystemAttributes).
    bool IsDirectory() { return (GetSystemAttributes() & 0x10) != 0; }
    /// True when the attributes of the entry's system can be converted.
    bool HasAttributeConversion() const;

    /// Bytes of encryption header before the data (12 traditional; AES salt, verifier and
    /// authentication code), 0 without encryption.
    uint32_t EncryptionOverhead() const;
    /// True when the data descriptor has 8-byte sizes: the central Zip64 field gave a size,
    /// or the local header carried a Zip64 field (as Info-ZIP zip writes when streaming).
    bool HasZip64Sizes() const { return m_zip64Sizes || m_localZip64; }

    // Central header fields.
    uint8_t m_versionMadeBy = 0;  // low byte of version made by
    uint8_t m_system = 0;         // high byte: the entry's system compatibility
    uint16_t m_versionNeeded = 0;
    uint16_t m_flags = 0;    // general-purpose bit flags
    uint16_t m_method = 0;   // after AES replacement, the real method
    uint16_t m_modTime = 0;  // MS-DOS time
    uint16_t m_modDate = 0;  // MS-DOS date
    uint32_t m_crc32 = 0;
    uint64_t m_compressedSize = 0;
    uint64_t m_uncompressedSize = 0;
    uint32_t m_diskStart = 0;
    uint16_t m_internalAttr = 0;
    uint32_t m_externalAttr = 0;
    uint64_t m_localOffset = 0;  // relative to the archive's start (see prefix bytes)
    // Local header fields.
    uint16_t m_localNameLength = 0;
    uint32_t m_localHeaderSize = 0;  // 30 + name + extra
    uint64_t m_localCompressedSize = 0;
    uint64_t m_localUncompressedSize = 0;
    CZipExtraFields m_centralExtra;
    CZipExtraFields m_localExtra;
    uint8_t m_encryption = kNoEncryption;  // 255 none, 0 traditional, 1-3 AES strength
    bool m_ignoreCrc = false;              // AE-2 entries
    uint32_t m_stringFlags = 0;            // kNameFromUnicodeField ...
    // End of the space the entry may occupy (the next entry's local header or the central
    // directory) in a one-file archive; all-ones when unknown (split archives).
    uint64_t m_dataLimit = UINT64_MAX;

private:
    bool m_zip64Sizes = false;  // a Zip64 field gave a size
    bool m_localZip64 = false;  // the local header has a Zip64 field
    CByteBuffer m_rawName;      // released once decoded
    CByteBuffer m_rawComment;   // released once decoded
    std::string m_name;         // decoded
    std::string m_comment;      // decoded
    bool m_nameDecoded = false;
    bool m_commentDecoded = false;
    uint16_t m_aesVendorVersion = 0;  // from the central AES field
};

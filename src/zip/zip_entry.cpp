// CZipEntry: central and local headers, extra fields, name decoding and attributes.
#include "zip/zip_entry.h"

#include <zlib.h>

#include "platform/system.h"
#include "platform/text.h"
#include "zip/little_endian.h"
#include "zip/zip_directory.h"
#include "zip/zip_error.h"
#include "zip/zip_source.h"

using namespace zipformat;

namespace {

constexpr unsigned kUtf8CodePage = 65001;

// The Unicode path and comment fields: version 1, CRC-32 of the raw bytes, UTF-8 text.
// Returns true when the field is a version-1 field (whether or not its CRC matches); then
// `replaced` tells whether `raw` now holds the field's text.
bool TakeUnicodeField(const CZipExtraField* field, CByteBuffer& raw, bool& replaced) {
    replaced = false;
    if (field == nullptr || field->data.Size() <= 4 || field->data.Data()[0] != 1) {
        return false;
    }
    const uint8_t* data = field->data.Data();
    uLong crc = crc32(0L, Z_NULL, 0);
    if (!raw.IsEmpty()) {
        crc = crc32(crc, raw.Data(), static_cast<uInt>(raw.Size()));
    }
    if (Get32(data + 1) == static_cast<uint32_t>(crc) && field->data.Size() > 5) {
        raw.Assign(data + 5, field->data.Size() - 5);
        replaced = true;
    }
    return true;
}

std::string Decode(const CByteBuffer& raw, unsigned codePage) {
    std::string text;
    if (raw.IsEmpty()) {
        return text;
    }
    std::string_view bytes(reinterpret_cast<const char*>(raw.Data()), raw.Size());
    // The name ends at a NUL byte, as it does for the wide-string functions on Windows.
    size_t nul = bytes.find('\0');
    if (nul != std::string_view::npos) {
        bytes = bytes.substr(0, nul);
    }
    if (!platform::CodePageToUtf8(codePage, bytes, text)) {
        text.clear();
    }
    return text;
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(const CByteBuffer& raw) {
    const uint8_t* p = raw.Data();
    size_t n = raw.Size();
    size_t i = 0;
    while (i < n) {
        uint8_t c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t length = 0;
        uint32_t min = 0;
        uint32_t value = 0;
        if ((c & 0xE0) == 0xC0) {
            length = 2;
            min = 0x80;
            value = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            length = 3;
            min = 0x800;
            value = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            length = 4;
            min = 0x10000;
            value = c & 0x07;
        } else {
            return false;
        }
        if (n - i < length) {
            return false;
        }
        for (size_t k = 1; k < length; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) {
                return false;
            }
            value = (value << 6) | (p[i + k] & 0x3F);
        }
        if (value < min || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

// Unix, OS X and similar tools write names in UTF-8 without saying so; some write the
// local code page instead (bsdtar with a header charset, old Korean tools on Linux). Such
// bytes are not UTF-8, and decoding them as UTF-8 would turn different names into the
// same string of replacement characters, so that one file overwrites another: they are
// read in the ANSI code page instead. Names flagged as UTF-8 are taken at their word.
unsigned CodePageForUnflaggedUtf8(const CByteBuffer& raw) {
    return IsValidUtf8(raw) ? kUtf8CodePage : platform::AnsiCodePage();
}

void SlashesToBackslashes(std::string& text) {
    for (char& c : text) {
        if (c == '/') {
            c = '\\';
        }
    }
}

}  // namespace

bool CZipExtraFields::Parse(const uint8_t* bytes, size_t size) {
    m_fields.clear();
    size_t pos = 0;
    while (size - pos >= 4) {
        uint16_t id = Get16(bytes + pos);
        uint16_t length = Get16(bytes + pos + 2);
        pos += 4;
        if (length > size - pos) {
            return false;
        }
        CZipExtraField field;
        field.id = id;
        field.data.Assign(bytes + pos, length);
        m_fields.push_back(std::move(field));
        pos += length;
    }
    return true;
}

const CZipExtraField* CZipExtraFields::Find(uint16_t id) const {
    for (const CZipExtraField& field : m_fields) {
        if (field.id == id) {
            return &field;
        }
    }
    return nullptr;
}

void CZipExtraFields::Remove(uint16_t id) {
    std::erase_if(m_fields, [id](const CZipExtraField& field) { return field.id == id; });
}

bool CZipEntry::ReadCentralHeader(const uint8_t* fixed, const uint8_t* variable) {
    if (Get32(fixed) != kCentralHeaderSignature) {
        return false;
    }
    m_versionMadeBy = fixed[4];
    m_system = fixed[5];
    m_versionNeeded = Get16(fixed + 6);
    m_flags = Get16(fixed + 8);
    m_method = Get16(fixed + 10);
    m_modTime = Get16(fixed + 12);
    m_modDate = Get16(fixed + 14);
    m_crc32 = Get32(fixed + 16);
    m_compressedSize = Get32(fixed + 20);
    m_uncompressedSize = Get32(fixed + 24);
    uint16_t nameLength = Get16(fixed + 28);
    uint16_t extraLength = Get16(fixed + 30);
    uint16_t commentLength = Get16(fixed + 32);
    m_diskStart = Get16(fixed + 34);
    m_internalAttr = Get16(fixed + 36);
    m_externalAttr = Get32(fixed + 38);
    m_localOffset = Get32(fixed + 42);
    m_encryption = (m_flags & kFlagEncrypted) != 0 ? kTraditionalEncryption : kNoEncryption;

    m_rawName.Assign(variable, nameLength);
    m_nameDecoded = false;
    m_name.clear();
    if (!m_centralExtra.Parse(variable + nameLength, extraLength)) {
        return false;
    }
    if ((m_flags & kFlagUtf8) != 0) {
        m_stringFlags |= kUtf8Strings;
    }

    bool replaced = false;
    if (TakeUnicodeField(m_centralExtra.Find(kExtraUnicodePath), m_rawName, replaced)) {
        m_stringFlags |= kNameFromUnicodeField;
        if (replaced && (m_stringFlags & kUtf8Strings) == 0) {
            m_name = Decode(m_rawName, kUtf8CodePage);
            SlashesToBackslashes(m_name);
            m_rawName.Release();
            m_nameDecoded = true;
        }
    }

    if (const CZipExtraField* zip64 = m_centralExtra.Find(kExtraZip64)) {
        const uint8_t* p = zip64->data.Data();
        size_t left = zip64->data.Size();
        auto take64 = [&](uint64_t& value) {
            if (left < 8) {
                return false;
            }
            value = Get64(p);
            p += 8;
            left -= 8;
            return true;
        };
        if (m_uncompressedSize == 0xFFFFFFFFu) {
            if (!take64(m_uncompressedSize)) {
                return false;
            }
            m_zip64Sizes = true;
        }
        if (m_compressedSize == 0xFFFFFFFFu) {
            if (!take64(m_compressedSize)) {
                return false;
            }
            m_zip64Sizes = true;
        }
        if (m_localOffset == 0xFFFFFFFFu && !take64(m_localOffset)) {
            return false;
        }
        if (m_diskStart == 0xFFFF) {
            if (left < 4) {
                return false;
            }
            m_diskStart = Get32(p);
        }
    }

    if (m_method == kMethodAes && m_encryption != kNoEncryption) {
        const CZipExtraField* aes = m_centralExtra.Find(kExtraAes);
        if (aes != nullptr && aes->data.Size() >= 7) {
            const uint8_t* d = aes->data.Data();
            uint16_t version = Get16(d);
            uint8_t strength = d[4];
            if ((version == 1 || version == 2) && Get16(d + 2) == 0x4541 && strength >= 1 &&
                strength <= 3) {
                m_aesVendorVersion = version;
                m_encryption = strength;
                m_ignoreCrc = version == 2;
                m_method = Get16(d + 5);
            }
        }
    }

    m_rawComment.Assign(variable + nameLength + extraLength, commentLength);
    m_commentDecoded = false;
    m_comment.clear();
    if (TakeUnicodeField(m_centralExtra.Find(kExtraUnicodeComment), m_rawComment, replaced)) {
        m_stringFlags |= kCommentFromUnicodeField;
        if (replaced && (m_stringFlags & kUtf8Strings) == 0) {
            m_comment = Decode(m_rawComment, kUtf8CodePage);
            m_rawComment.Release();
            m_commentDecoded = true;
        }
    }

    for (uint16_t id : {kExtraZip64, kExtraUnicodePath, kExtraUnicodeComment, kExtraAes}) {
        m_centralExtra.Remove(id);
    }
    return true;
}

bool CZipEntry::ReadLocalHeader(CZipSource& storage, uint32_t ignoredChecks) {
    uint8_t header[kLocalHeaderSize];
    storage.Read(header, sizeof header, true);
    if (Get32(header) != kLocalHeaderSignature) {
        return false;
    }
    uint16_t localFlags = Get16(header + 6);
    if ((ignoredChecks & CZipDirectory::kCheckFlags) == 0 &&
        (localFlags & 0xF) != (m_flags & 0xF)) {
        return false;
    }
    uint16_t localMethod = Get16(header + 8);
    uint32_t localCrc = Get32(header + 14);
    m_localNameLength = Get16(header + 26);
    uint16_t extraLength = Get16(header + 28);
    m_localHeaderSize = kLocalHeaderSize + m_localNameLength + extraLength;

    // Name and extra field in one read; the name itself is not used.
    CByteBuffer variable(static_cast<size_t>(m_localNameLength) + extraLength);
    storage.Read(variable.Data(), variable.Size(), true);
    if (!m_localExtra.Parse(variable.Data() + m_localNameLength, extraLength)) {
        return false;
    }
    const CZipExtraField* zip64 = m_localExtra.Find(kExtraZip64);
    m_localZip64 = zip64 != nullptr;
    if (zip64 != nullptr) {
        if (zip64->data.Size() < 16) {
            return false;
        }
        m_localUncompressedSize = Get64(zip64->data.Data());
        m_localCompressedSize = Get64(zip64->data.Data() + 8);
    } else {
        m_localCompressedSize = Get32(header + 18);
        m_localUncompressedSize = Get32(header + 22);
    }
    m_localExtra.Remove(kExtraUnicodePath);
    m_localExtra.Remove(kExtraUnicodeComment);

    if (localMethod == kMethodAes && m_encryption != kNoEncryption &&
        m_encryption != kTraditionalEncryption) {
        const CZipExtraField* aes = m_localExtra.Find(kExtraAes);
        if (aes == nullptr || aes->data.Size() < 7) {
            return false;
        }
        const uint8_t* d = aes->data.Data();
        if (d[4] != m_encryption || (Get16(d) == 2) != m_ignoreCrc) {
            return false;
        }
        localMethod = Get16(d + 5);
    }
    if ((ignoredChecks & CZipDirectory::kCheckMethod) == 0 && localMethod != m_method) {
        return false;
    }
    if ((m_flags & kFlagDataDescriptor) == 0 &&
        (ignoredChecks & (CZipDirectory::kCheckSizes | CZipDirectory::kCheckLocalCrc)) == 0) {
        if (localCrc != m_crc32 ||
            (m_localCompressedSize != 0 && m_localCompressedSize != m_compressedSize) ||
            m_localUncompressedSize != m_uncompressedSize) {
            return false;
        }
    }
    return true;
}

const std::string& CZipEntry::GetFileName() {
    if (m_nameDecoded) {
        return m_name;
    }
    unsigned codePage = kUtf8CodePage;
    if ((m_stringFlags & kUtf8Strings) == 0) {
        switch (m_system) {
            case 0:
            case 11:
                codePage = platform::OemCodePage();
                break;
            case 3:
            case 7:
            case 20:
                codePage = CodePageForUnflaggedUtf8(m_rawName);
                break;
            default:
                codePage = platform::AnsiCodePage();
                break;
        }
    }
    m_name = Decode(m_rawName, codePage);
    SlashesToBackslashes(m_name);
    m_rawName.Release();
    m_nameDecoded = true;
    return m_name;
}

const std::string& CZipEntry::GetComment() {
    if (m_commentDecoded) {
        return m_comment;
    }
    unsigned codePage = kUtf8CodePage;
    if ((m_stringFlags & kUtf8Strings) == 0) {
        if (m_system == 3 || m_system == 7 || m_system == 20) {
            codePage = CodePageForUnflaggedUtf8(m_rawComment);
        } else {
            codePage = platform::AnsiCodePage();
        }
    }
    m_comment = Decode(m_rawComment, codePage);
    m_rawComment.Release();
    m_commentDecoded = true;
    return m_comment;
}

bool CZipEntry::HasAttributeConversion() const {
    switch (m_system) {
        case 3:
        case 6:
        case 7:
        case 11:
        case 15:
        case 20:
            return true;
        default:
            return m_system == 0 || m_system > 20;
    }
}

uint32_t CZipEntry::GetSystemAttributes() {
    const std::string& name = GetFileName();
    bool endsWithSeparator = !name.empty() && (name.back() == '\\' || name.back() == '/');
    uint32_t raw = 0;
    switch (m_system) {
        case 0:
        case 6:
        case 7:
        case 11:
        case 15:
        case 20:
            raw = m_externalAttr & 0xFFFF;
            break;
        case 3:
            raw = m_externalAttr >> 16;
            break;
        default:
            raw = endsWithSeparator ? 0x10 : 0x20;
            break;
    }
    uint32_t attributes = raw;
    if (m_system >= 1 && m_system <= 20) {
        switch (m_system) {
            case 6:
            case 11:
            case 15:
                break;
            case 7:
            case 20:
                attributes = raw & 0x11;
                break;
            case 3:
                // Unix mode: a directory, else a plain file unless executable; no owner
                // write bit makes it read-only; readable neither by group (0x20) nor by
                // others (0x04) makes it hidden.
                if ((raw & 0x4000) != 0) {
                    attributes = 0x10;
                } else if ((raw & 0x40) != 0) {
                    attributes = 0;
                } else {
                    attributes = 0x20;
                }
                if ((raw & 0x80) == 0) {
                    attributes |= 0x01;
                }
                if ((raw & 0x20) == 0 && (raw & 0x04) == 0) {
                    attributes |= 0x02;
                }
                break;
            default:
                CZipError::Throw(CZipError::kPlatformNotSupported, GetFileName());
        }
    }
    if (m_compressedSize == 0 && endsWithSeparator) {
        attributes |= 0x10;
    }
    return attributes;
}

uint32_t CZipEntry::EncryptionOverhead() const {
    switch (m_encryption) {
        case kTraditionalEncryption:
            return 12;
        case 1:
            return 8 + 2 + 10;
        case 2:
            return 12 + 2 + 10;
        case 3:
            return 16 + 2 + 10;
        default:
            return 0;
    }
}

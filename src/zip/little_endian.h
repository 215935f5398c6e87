// Little-endian field access for the archive's on-disk records, and overflow-checked
// arithmetic for offsets and sizes read from an archive that may be hostile.
#pragma once

#include <cstdint>
#include <limits>

namespace zipformat {

inline uint16_t Get16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t Get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t Get64(const uint8_t* p) {
    return static_cast<uint64_t>(Get32(p)) | (static_cast<uint64_t>(Get32(p + 4)) << 32);
}

/// a + b into `sum`; false when it would wrap.
inline bool AddChecked(uint64_t a, uint64_t b, uint64_t& sum) {
    return !__builtin_add_overflow(a, b, &sum);
}

/// True when an archive offset can be given to a 64-bit signed seek.
inline bool FitsSeek(uint64_t offset) {
    return offset <= static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
}

/// Signatures of the records.
inline constexpr uint32_t kLocalHeaderSignature = 0x04034B50;     // 50 4B 03 04
inline constexpr uint32_t kCentralHeaderSignature = 0x02014B50;   // 50 4B 01 02
inline constexpr uint32_t kEndRecordSignature = 0x06054B50;       // 50 4B 05 06
inline constexpr uint32_t kZip64LocatorSignature = 0x07064B50;    // 50 4B 06 07
inline constexpr uint32_t kZip64EndRecordSignature = 0x06064B50;  // 50 4B 06 06
inline constexpr uint32_t kDataDescriptorSignature = 0x08074B50;  // 50 4B 07 08

/// Fixed sizes of the records.
inline constexpr uint32_t kLocalHeaderSize = 30;
inline constexpr uint32_t kCentralHeaderSize = 46;
inline constexpr uint32_t kEndRecordSize = 22;
inline constexpr uint32_t kZip64LocatorSize = 20;
inline constexpr uint32_t kZip64EndRecordSize = 56;

/// Extra-field ids the reader interprets.
inline constexpr uint16_t kExtraZip64 = 0x0001;
inline constexpr uint16_t kExtraUnicodePath = 0x7075;
inline constexpr uint16_t kExtraUnicodeComment = 0x6375;
inline constexpr uint16_t kExtraAes = 0x9901;

}  // namespace zipformat

// Test-only builder of zip archives whose every field can be set by hand: sound archives to
// start from, and damaged or hostile ones made by changing a field before the bytes are laid
// out. Knows nothing of the reader; it writes what APPNOTE describes and what it is told.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ziptest {

/// Little-endian field writers for hand-made records.
void Put16(std::string& out, uint16_t value);
void Put32(std::string& out, uint32_t value);
void Put64(std::string& out, uint64_t value);

/// One extra-field block: id, 16-bit length, data.
std::string ExtraField(uint16_t id, const std::string& data);

/// CRC-32 as zlib computes it.
uint32_t Crc32(const std::string& data);

/// Raw deflate (no zlib header) and bzip2 streams of `data`.
std::string Deflate(const std::string& data);
std::string Bzip2(const std::string& data);

/// MS-DOS time and date of a local wall-clock time.
uint16_t DosTime(int hour, int minute, int second);
uint16_t DosDate(int year, int month, int day);

/// The fields of the local header; by default a copy of the central values.
struct LocalHeader {
    uint16_t versionNeeded = 20;
    uint16_t flags = 0;
    uint16_t method = 0;
    uint16_t time = 0;
    uint16_t date = 0;
    uint32_t crc = 0;
    uint32_t compressedSize = 0;
    uint32_t uncompressedSize = 0;
    std::string name;
    std::string extra;
};

/// One entry. Add() fills every field from the name, data and method; a test then changes
/// what it needs (the central fields here, the local ones in `local`) before Build().
struct Entry {
    std::string name;     // raw name bytes, central header
    std::string payload;  // the bytes stored after the local header
    uint8_t versionMadeBy = 20;
    uint8_t system = 0;  // high byte of version made by
    uint16_t versionNeeded = 20;
    uint16_t flags = 0;
    uint16_t method = 0;
    uint16_t time = DosTime(10, 20, 30);
    uint16_t date = DosDate(2024, 5, 1);
    uint32_t crc = 0;
    uint64_t compressedSize = 0;
    uint64_t uncompressedSize = 0;
    uint16_t diskStart = 0;
    uint16_t internalAttr = 0;
    uint32_t externalAttr = 0x20;
    std::string centralExtra;
    std::string comment;
    LocalHeader local;
    /// Zip64: the central sizes and offset become 0xFFFFFFFF with a 0x0001 field, and the
    /// local header gets a 0x0001 field with both sizes.
    bool zip64 = false;
    /// Bytes written after the payload (a data descriptor; see Descriptor()).
    std::string trailer;
    /// When set, the central header names this offset instead of the real one.
    std::optional<uint64_t> offsetOverride;
    /// Filled by Build(): where the local header was written.
    uint64_t offset = 0;
};

/// A data descriptor with signature: CRC, then 32-bit or (zip64) 64-bit sizes.
std::string Descriptor(uint32_t crc, uint64_t compressed, uint64_t uncompressed, bool zip64);

/// The end records; unset values are the ones the archive's layout gives.
struct EndRecord {
    std::optional<uint16_t> thisDisk, cdDisk, volumeEntries, totalEntries;
    std::optional<uint32_t> cdSize, cdOffset;
    std::optional<uint16_t> commentLength;
    std::string comment;
    /// Writes a Zip64 end record and locator; the plain record then holds all-ones values.
    bool zip64 = false;
    std::optional<uint64_t> zip64Entries, zip64CdSize, zip64CdOffset;
    std::optional<uint32_t> zip64ThisDisk;
    std::string zip64Signature = std::string("PK\x06\x06", 4);
};

class ZipBuilder {
public:
    /// Adds an entry with its data compressed by `method` (0 stored, 8 deflate, 12 bzip2)
    /// and every header field consistent; returns it for changes.
    Entry& Add(const std::string& name, const std::string& data, uint16_t method = 8);
    /// Adds a directory entry ("name/", no data, MS-DOS directory attribute).
    Entry& AddFolder(const std::string& name);
    /// Entry i as added.
    Entry& At(size_t i) { return m_entries.at(i); }

    /// Bytes before the first local header (a self-extracting stub).
    std::string prefix;
    /// Bytes between the last entry and the central directory.
    std::string gap;
    /// Order in which the central headers are written (indices into the entries); empty
    /// means the order of Add.
    std::vector<size_t> centralOrder;
    EndRecord end;

    /// Lays out the archive. `cdOffsetOut`, when given, receives the directory's offset.
    std::string Build(uint64_t* cdOffsetOut = nullptr);

private:
    std::vector<Entry> m_entries;
};

}  // namespace ziptest

// The traditional cipher: the key update with a CRC-32 step, the key stream byte from
// key 2, and the check of the decrypted header.
#include "zip/zip_cipher_traditional.h"

#include <array>

#include "zip/zip_entry.h"
#include "zip/zip_error.h"
#include "zip/zip_source.h"

namespace {

constexpr std::array<uint32_t, 256> MakeCrcTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) {
            c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        }
        table[n] = c;
    }
    return table;
}

constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

inline uint32_t CrcStep(uint32_t crc, uint8_t byte) {
    return kCrcTable[(crc ^ byte) & 0xFF] ^ (crc >> 8);
}

}  // namespace

inline void CTraditionalCipher::UpdateKeys(uint8_t plain) {
    m_keys[0] = CrcStep(m_keys[0], plain);
    m_keys[1] = (m_keys[1] + (m_keys[0] & 0xFF)) * 134775813u + 1;
    m_keys[2] = CrcStep(m_keys[2], static_cast<uint8_t>(m_keys[1] >> 24));
}

inline uint8_t CTraditionalCipher::DecryptByte(uint8_t cipher) {
    // In 32 bits: a 16-bit product promoted to int would overflow.
    uint32_t t = (m_keys[2] | 2) & 0xFFFF;
    uint8_t plain = cipher ^ static_cast<uint8_t>((t * (t ^ 1)) >> 8);
    UpdateKeys(plain);
    return plain;
}

void CTraditionalCipher::InitKeys(const CByteBuffer& password) {
    m_keys[0] = 0x12345678;
    m_keys[1] = 0x23456789;
    m_keys[2] = 0x34567890;
    for (size_t i = 0; i < password.Size(); ++i) {
        UpdateKeys(password.Data()[i]);
    }
}

bool CTraditionalCipher::StartDecrypt(const CByteBuffer& password, CZipEntry& entry,
                                      CZipSource& storage, bool skipCheck) {
    // Without room for the header the entry is damaged; reading it anyway would take bytes
    // of whatever follows the entry.
    if (entry.m_compressedSize < kHeaderSize) {
        CZipError::Throw(CZipError::kBadArchive, storage.ArchivePath());
    }
    InitKeys(password);
    uint8_t header[kHeaderSize];
    storage.Read(header, sizeof header, false);
    for (uint8_t& byte : header) {
        byte = DecryptByte(byte);
    }
    if (skipCheck) {
        return true;
    }
    // Writers that stream (flag bit 3) do not know the CRC when they write the header and
    // check with the time instead.
    uint8_t expected = (entry.m_flags & CZipEntry::kFlagDataDescriptor) != 0
                           ? static_cast<uint8_t>(entry.m_modTime >> 8)
                           : static_cast<uint8_t>(entry.m_crc32 >> 24);
    return header[kHeaderSize - 1] == expected;
}

void CTraditionalCipher::Decrypt(uint8_t* buffer, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        buffer[i] = DecryptByte(buffer[i]);
    }
}

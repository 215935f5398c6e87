// The traditional PKWARE stream cipher of zip entries: three 32-bit keys updated with
// each plain byte, a 12-byte encryption header whose last byte checks the password.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zip/zip_cipher.h"

/// Decryptor of traditionally encrypted entries (encryption value 0).
class CTraditionalCipher : public CZipCipher {
public:
    /// Size of the encryption header before the data.
    static constexpr size_t kHeaderSize = 12;

    /// Keys the cipher with `password`, reads and decrypts the 12-byte header at the
    /// storage's position and checks its last byte: against the high byte of the entry's
    /// modification time when flag bit 3 is set, else the high byte of its CRC-32. True
    /// when it matches or `skipCheck`. Throws 201 when the entry's compressed size cannot
    /// hold the header, and the storage's errors (201 for a short read).
    bool StartDecrypt(const CByteBuffer& password, CZipEntry& entry, CZipSource& storage,
                      bool skipCheck) override;
    void Decrypt(uint8_t* buffer, size_t length) override;
    bool Accepts(uint8_t encryption) const override { return encryption == 0; }

private:
    void InitKeys(const CByteBuffer& password);
    void UpdateKeys(uint8_t plain);
    uint8_t DecryptByte(uint8_t cipher);

    uint32_t m_keys[3] = {};  // the stream cipher's state
};

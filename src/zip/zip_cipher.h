// The decryptor interface of the reader. Entries flagged as encrypted are refused with 213
// while the archive has no password; the decoders already pass every block they read
// through a cipher, so a decryptor plugs in here without touching them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zip/byte_buffer.h"

class CZipEntry;
class CZipSource;

/// A decryptor of entry data, made per encryption kind and reused between entries.
class CZipCipher {
public:
    virtual ~CZipCipher() = default;
    /// Reads the encryption header of `entry` from the storage and checks the password;
    /// false when it is wrong (unless `skipCheck`).
    virtual bool StartDecrypt(const CByteBuffer& password, CZipEntry& entry, CZipSource& storage,
                              bool skipCheck) = 0;
    /// Decrypts `length` bytes in place.
    virtual void Decrypt(uint8_t* buffer, size_t length) = 0;
    /// After the entry's data (AES reads and checks its authentication code: 223).
    virtual void FinishDecrypt(CZipEntry& entry, CZipSource& storage) {
        (void)entry;
        (void)storage;
    }
    /// True when this cipher can decrypt entries of this encryption value.
    virtual bool Accepts(uint8_t encryption) const {
        (void)encryption;
        return false;
    }
};

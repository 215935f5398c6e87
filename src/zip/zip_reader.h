// The zip reader as the installer holds it: open an archive, list its entries in file
// order, extract them below a folder (with header and CRC-32 checks, times and attributes),
// close. It only reads; encrypted entries (traditional and AES) are decrypted when a
// password is set, and refused with 213 while none is (the installer never sets one).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_set>

#include "zip/byte_buffer.h"
#include "zip/zip_cipher.h"
#include "zip/zip_decoder.h"
#include "zip/zip_directory.h"
#include "zip/zip_entry.h"
#include "zip/zip_error.h"
#include "zip/zip_source.h"

/// A callback told about an action on an entry.
class CZipActionCallback {
public:
    virtual ~CZipActionCallback() = default;
    /// Called before the entry `name` is extracted to `path`; false stops the extraction
    /// with CZipError 206 before anything is written.
    virtual bool OnAction(int kind, const std::string& name, const std::string& path) = 0;
};

/// The archive façade: one per operation, on the stack.
class CZipReader {
public:
    /// Open modes.
    static constexpr int kModeOpen = CZipSource::kModeOpen;          // read and update
    static constexpr int kModeReadOnly = CZipSource::kModeReadOnly;  // read only
    static constexpr int kModeSplit = CZipSource::kModeSplit;
    static constexpr int kModeBinarySplit = CZipSource::kModeBinarySplit;
    static constexpr int kModeSpanned = CZipSource::kModeSpanned;
    /// Callback kinds.
    static constexpr int kCallbackExtract = 0x0008;
    /// A kind that no operation consults; clearing it with kCallbackExtract changes nothing
    /// beyond extraction.
    static constexpr int kCallbackUnconsulted = 0x0800;
    /// Close kinds.
    static constexpr int kCloseNormal = 0;
    static constexpr int kCloseAfterException = 1;
    static constexpr int kCloseWriteAfterException = 2;
    /// The index meaning "no entry".
    static constexpr uint64_t kNoIndex = UINT64_MAX;
    /// Size of the copy buffer of an extraction.
    static constexpr size_t kCopyBufferSize = 65536;
    /// CloseEntry results.
    static constexpr int kEntryComplete = 1;
    static constexpr int kEntryDataLeft = -1;
    static constexpr int kEntryTimeOrAttributesNotSet = -2;

    CZipReader();
    virtual ~CZipReader();
    CZipReader(const CZipReader&) = delete;
    CZipReader& operator=(const CZipReader&) = delete;

    /// Opens an existing archive and reads its central directory. False (and nothing done)
    /// when an archive is already open; true on success; every failure throws CZipError
    /// (errno values with the path, 201, 203, 220, 221). Modes with bit 0x4 (create) throw 200.
    /// `ignoredChecks` is the mask in force while the directory is read and afterwards.
    bool Open(const std::string& path, int mode = kModeOpen,
              uint32_t ignoredChecks = CZipDirectory::kDefaultIgnoredChecks);
    /// Stores `callback` (not owned; null removes) for each kind bit set in `kinds`.
    void SetActionCallback(CZipActionCallback* callback, int kinds);
    /// Number of entries; 0 when closed.
    uint64_t GetEntryCount() const;
    /// The entry at `index` in file order; null when closed, out of range or kNoIndex.
    CZipEntry* GetEntryInfo(uint64_t index) const;
    /// Extracts one entry below `folder` keeping its relative path. True when written
    /// completely with its time and attributes; false for an invalid index, a method other
    /// than 0, 8, 12, another entry open, data ending early, or time or attributes not set.
    /// Throws CZipError: 224 (destination outside the folder, before anything is created),
    /// 217 (existing file cannot be deleted), 213 (encrypted: no password or a wrong one,
    /// before anything is created), 223 (AES authentication code wrong), 200 (AES key
    /// strength outside 1-3), 219, 201, 202, 500s, 600s, errno values with the output path.
    bool ExtractEntry(uint64_t index, const std::string& folder);
    /// Sets the password of the open archive's encrypted entries, taken as the bytes of
    /// `password` (UTF-8 as given); empty removes it. Open and Close clear it, so it is set
    /// after Open. Without one, opening an encrypted file entry throws 213.
    void SetPassword(const std::string& password);
    /// Closes: 0 normally, 1 after an exception (nothing checked); returns the archive path.
    std::string Close(int afterException = kCloseNormal);
    bool IsOpen() const { return m_storage.IsOpen(); }
    const std::string& GetArchivePath() const { return m_storage.ArchivePath(); }

    /// The destination of an entry named `name` below `folder` (drive letters and long-path
    /// prefixes of the name dropped). Pure: no check of "..".
    std::string ComputeExtractPath(const std::string& name, const std::string& folder) const;
    /// Resolves "." and ".." components of the part of `path` (from ComputeExtractPath)
    /// below `folder` into `resolved`; false when the path climbs out of the folder or has
    /// a component of dots and spaces that Windows could read as a parent reference.
    static bool ResolveInsideFolder(const std::string& path, const std::string& folder,
                                    std::string& resolved);

    /// Opens an entry for reading its data: false when closed, index invalid, an entry is
    /// open, or the method is not 0, 8 or 12. Throws 201 for a bad local header or an
    /// encrypted entry too short for its encryption header, 213 for an encrypted entry
    /// without the right password, 200, library codes.
    bool OpenEntry(uint64_t index);
    /// Produces the next bytes of the open entry; 0 at the end.
    size_t ReadEntryData(void* buffer, size_t size);
    /// Finishes the open entry: with `outputFile`, sets its time and attributes first and
    /// closes it. Returns 1 complete, -1 data left over, -2 time or attributes not set.
    /// Throws 202 on a CRC mismatch, 201 on a data descriptor mismatch (when checked).
    int CloseEntry(CZipDiskFile* outputFile = nullptr);
    /// Checks an entry as extraction would, without writing: its name stays inside a
    /// folder (224), its attributes convert (219), and a file entry's data decompresses
    /// with the right CRC. True when sound; false where ExtractEntry would return false.
    /// Throws as ExtractEntry.
    bool TestEntry(uint64_t index);

    /// Creates `path` and its missing parents; true when it exists as a folder afterwards.
    bool EnsureDirectory(const std::string& path);

    /// Ignored-checks mask (CZipDirectory::kCheck*); set to 0x300 at every open.
    uint32_t GetIgnoredChecks() const { return m_directory.m_ignoredChecks; }
    void SetIgnoredChecks(uint32_t mask) { m_directory.m_ignoredChecks = mask; }
    /// The archive's end-record data.
    const CZipDirectory::CInfo& GetInfo() const { return m_directory.Info(); }
    /// The made-by system of the archive.
    uint8_t GetArchiveSystem() const { return m_archiveSystem; }
    /// The storage (for tests and tools).
    CZipSource& GetStorage() { return m_storage; }

protected:
    /// The decryptor for an encryption value: 1-3 AES, 255 none (null), any other value
    /// traditional.
    virtual std::unique_ptr<CZipCipher> MakeCipher(uint8_t encryption);
    /// The decoder for a method (0 and 8 deflate, 12 bzip2); null for others.
    virtual std::unique_ptr<CZipDecoder> MakeDecoder(uint16_t method);

private:
    void FinishEntryAfterException();
    /// Has the decoder start on the next entry with data while this one is written.
    void PrefetchAfter(uint64_t index);
    static std::u16string NameKey(const std::string& path);
    bool MayExist(const std::string& path, const std::string& parent) const;
    /// Opens the output file of an extraction, replacing what stands at `path`; throws 217
    /// when that cannot be deleted, the errno value when the file cannot be created.
    /// `parentEnsured`: EnsureDirectory(parent) ran for this entry.
    void OpenOutputFile(CZipDiskFile& output, const std::string& path, const std::string& parent,
                        bool parentEnsured);
    void ExamineDestination(const std::string& folder);
    bool SetFileTimeAndAttributes(CZipEntry& entry, CZipDiskFile& file);

    CZipSource m_storage;
    CZipDirectory m_directory;
    std::map<int, CZipActionCallback*> m_callbacks;  // by kind bit; not owned
    bool m_stripDrive = true;                        // drive letters of names are dropped
    uint8_t m_archiveSystem = 0;                     // made-by system of the archive
    CByteBuffer m_password;                          // never set by the installer
    std::unique_ptr<CZipCipher> m_cipher;            // decryptor of the open entry
    std::unique_ptr<CZipDecoder> m_decoder;          // kept between entries
    int m_openEntryState = 0;                        // 0 none, -1 open for extraction
    CByteBuffer m_copyBuffer;                        // extraction buffer, kept between entries
    uint64_t m_prefetchEnd = 0;  // index after the last entry handed to the decoder ahead
    std::vector<zipcodec::CPrefetchRequest> m_prefetchRequests;  // kept between entries
    std::string m_lastEnsuredFolder;  // the last folder EnsureDirectory found or made
    // Folders that held nothing but what this archive's extractions wrote (made by them, or
    // a destination folder found empty), and the names written into them, without regard
    // to case. A name not written into such a folder is believed absent: its file is
    // created as new without a look-up, and if another program put something there after
    // all, that creation fails and the name takes the look-up and delete of any other.
    std::unordered_set<std::u16string> m_ownFolders;
    std::unordered_set<std::u16string> m_examinedFolders;  // destination folders looked at
    std::unordered_set<std::u16string> m_writtenNames;
};

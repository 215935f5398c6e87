// The file interface of the reader: a byte stream that can be read, written and sought.
// CZipDiskFile is the one implementation, over the platform's C runtime descriptor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/files.h"

/// A seekable byte stream. Failures of an open stream throw CZipError with the errno value
/// and the stream's path.
class CZipStream {
public:
    virtual ~CZipStream() = default;

    /// Opens `path` with CZipDiskFile's flags; the base class cannot open anything.
    virtual bool Open(const std::string& path, uint32_t flags, bool throwOnError) {
        (void)path;
        (void)flags;
        (void)throwOnError;
        return false;
    }
    virtual void Close() = 0;
    virtual void Flush() = 0;
    /// The current position.
    virtual uint64_t GetPosition() = 0;
    /// Seeks (origin 0 begin, 1 current, 2 end); returns the new position.
    virtual uint64_t Seek(int64_t offset, int origin) = 0;
    /// The length; the position is kept.
    virtual uint64_t GetLength() = 0;
    virtual void SetLength(uint64_t length) = 0;
    uint64_t SeekToBegin() { return Seek(0, 0); }
    uint64_t SeekToEnd() { return Seek(0, 2); }
    virtual std::string GetFilePath() const = 0;
    virtual bool HasFilePath() const { return false; }
    /// Reads up to `count` bytes; fewer only at the end of the file. Returns the bytes read.
    virtual size_t Read(void* buffer, size_t count) = 0;
    /// Writes `count` bytes; a short write throws.
    virtual void Write(const void* buffer, size_t count) = 0;
    virtual bool IsClosed() const = 0;
};

/// A file on disk, by path, through the platform's C runtime descriptor.
class CZipDiskFile : public CZipStream {
public:
    /// Open flags: access in the low two bits, share mode in 0x70, create, keep contents.
    static constexpr uint32_t kAccessRead = 0x0;
    static constexpr uint32_t kAccessWrite = 0x1;
    static constexpr uint32_t kAccessReadWrite = 0x2;
    static constexpr uint32_t kShareExclusive = 0x10;
    static constexpr uint32_t kShareDenyWrite = 0x20;
    static constexpr uint32_t kShareDenyRead = 0x30;
    static constexpr uint32_t kShareDenyNone = 0x40;
    static constexpr uint32_t kCreate = 0x1000;
    static constexpr uint32_t kNoTruncate = 0x2000;
    static constexpr uint32_t kCreateNew = 0x4000;  // with kCreate: fail when the name exists
    /// The combinations the reader uses.
    static constexpr uint32_t kArchiveReadWrite = 0x2022;  // package opened for updating
    static constexpr uint32_t kArchiveReadOnly = 0x2020;   // read-only package and volumes
    static constexpr uint32_t kOutputFile = 0x1021;        // extracted file

    CZipDiskFile() = default;
    ~CZipDiskFile() override = default;  // the descriptor closes itself
    CZipDiskFile(const CZipDiskFile&) = delete;
    CZipDiskFile& operator=(const CZipDiskFile&) = delete;

    /// False on failure, or throws CZipError(errno, path) when throwOnError is set.
    bool Open(const std::string& path, uint32_t flags, bool throwOnError) override;
    /// Opens as Open does; returns 0, or the C runtime's errno value of the failure (17
    /// when kCreateNew meets an existing name, 2 when a folder on the way is missing).
    int OpenOrError(const std::string& path, uint32_t flags);
    /// Closes; a close failure throws. Closing a closed file does nothing.
    void Close() override;
    void Flush() override;
    uint64_t GetPosition() override;
    uint64_t Seek(int64_t offset, int origin) override;
    uint64_t GetLength() override;
    void SetLength(uint64_t length) override;
    std::string GetFilePath() const override { return m_path; }
    bool HasFilePath() const override { return true; }
    size_t Read(void* buffer, size_t count) override;
    void Write(const void* buffer, size_t count) override;
    bool IsClosed() const override { return !m_file.IsOpen(); }
    /// Readies ReadAt on the open file; false when the platform cannot read it that way.
    bool PrepareReadAt() { return m_file.PrepareReadAt(); }
    /// Reads `count` bytes at `offset` without moving the position, from another thread if
    /// need be (not while this file closes); true when all of them were read.
    bool ReadAt(void* buffer, size_t count, uint64_t offset) const;
    /// Lends this file's bytes [position, position + size) as read into memory elsewhere:
    /// until ClearView, reads that lie inside them are served from there, and a seek into
    /// them moves only the position this object keeps, so the descriptor's offset is set at
    /// the next read outside them, write or length change. The bytes must stay as they are
    /// until then.
    void SetView(uint64_t position, const uint8_t* bytes, size_t size);
    void ClearView() { m_view = nullptr; }

    /// Sets the modification time on the open file (seconds since 1970 UTC); false with the
    /// platform's last error.
    bool SetModificationTime(int64_t seconds) { return m_file.SetModificationTime(seconds); }

private:
    [[noreturn]] void Fail(int errnoValue) const;
    /// Moves the descriptor to m_position when a seek or a read of the view left it behind.
    void ApplyPosition();
    /// True when the view holds `count` bytes from `position` on (its end included for 0).
    bool InView(uint64_t position, size_t count) const;

    platform::CrtFile m_file;  // the descriptor, closed when not open
    std::string m_path;        // path given to Open
    // The descriptor's offset as this object last set or moved it, -1 when not known: the
    // reader asks for its position and seeks to where it already is several times per
    // entry, which then costs no system call.
    int64_t m_position = -1;
    bool m_behind = false;  // the descriptor's offset is not m_position yet
    const uint8_t* m_view = nullptr;
    uint64_t m_viewStart = 0;
    size_t m_viewSize = 0;
};

// An owned byte buffer with its length: work buffers of the archive and the decoders, raw
// names, comments and extra-field data. Allocation leaves the bytes uninitialised. And the
// reusable bytes of the threads that inflate and hash beside the reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

/// Owned bytes; copyable (deep copy) and movable.
class CByteBuffer {
public:
    CByteBuffer() = default;
    explicit CByteBuffer(size_t size) { Allocate(size); }
    CByteBuffer(const void* data, size_t size) { Assign(data, size); }
    CByteBuffer(const CByteBuffer& other) { Assign(other.Data(), other.Size()); }
    CByteBuffer& operator=(const CByteBuffer& other) {
        if (this != &other) {
            Assign(other.Data(), other.Size());
        }
        return *this;
    }
    CByteBuffer(CByteBuffer&& other) noexcept
        : m_data(std::move(other.m_data)), m_size(other.m_size) {
        other.m_size = 0;
    }
    CByteBuffer& operator=(CByteBuffer&& other) noexcept {
        m_data = std::move(other.m_data);
        m_size = other.m_size;
        other.m_size = 0;
        return *this;
    }

    /// Replaces the contents by `size` uninitialised bytes (kept when the size is the same).
    void Allocate(size_t size) {
        if (size == m_size && m_data) {
            return;
        }
        m_data = size != 0 ? std::make_unique_for_overwrite<uint8_t[]>(size) : nullptr;
        m_size = size;
    }
    /// Replaces the contents by a copy of `size` bytes.
    void Assign(const void* data, size_t size) {
        Allocate(size);
        if (size != 0) {
            std::memcpy(m_data.get(), data, size);
        }
    }
    /// Frees the bytes.
    void Release() {
        m_data.reset();
        m_size = 0;
    }

    uint8_t* Data() { return m_data.get(); }
    const uint8_t* Data() const { return m_data.get(); }
    size_t Size() const { return m_size; }
    bool IsEmpty() const { return m_size == 0; }

private:
    std::unique_ptr<uint8_t[]> m_data;  // null when empty
    size_t m_size = 0;                  // bytes owned
};

namespace zipcodec {

/// Frees storage of operator new with an alignment.
struct CAlignedDelete {
    std::align_val_t m_alignment{alignof(std::max_align_t)};
    void operator()(uint8_t* data) const { ::operator delete(data, m_alignment); }
};

/// Bytes whose storage is kept when a smaller or equal size is asked for next time, so that
/// entry after entry reuses the same pages. Storage of a large page or more is aligned to
/// large pages and asks the system for them, so that filling it costs one page fault per
/// 2 MiB instead of one per 4 KiB (on a virtual machine a fault costs microseconds).
class CReusableBytes {
public:
    /// Makes `size` bytes available; throws std::bad_alloc. Without new storage (a size no
    /// larger than any before) the bytes are kept, else their contents are undefined.
    void Resize(size_t size);
    uint8_t* Data() { return m_data.get(); }
    const uint8_t* Data() const { return m_data.get(); }
    size_t Size() const { return m_size; }
    size_t Capacity() const { return m_capacity; }

private:
    std::unique_ptr<uint8_t, CAlignedDelete> m_data;
    size_t m_size = 0;
    size_t m_capacity = 0;
};

}  // namespace zipcodec

// An owned byte buffer with its length: work buffers of the archive and the decoders, raw
// names, comments and extra-field data. Allocation leaves the bytes uninitialised.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

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

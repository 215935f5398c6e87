// Reusable bytes: storage kept across sizes, large pages for large storage.
#include "zip/byte_buffer.h"

#if __has_include(<sys/mman.h>)
#include <sys/mman.h>
#endif

#include <algorithm>
#include <cstdint>

namespace zipcodec {

void CReusableBytes::Resize(size_t size) {
    if (size > m_capacity) {
        // Entry sizes vary: growing by a quarter at least, in whole 16 KiB steps, makes a
        // buffer settle after a few entries instead of being replaced (and its fresh pages
        // faulted in) by every entry a little larger than the last.
        constexpr size_t kStep = 16384;
        constexpr size_t kLargePage = size_t{2} << 20;
        const size_t wanted = std::max(size, m_capacity + m_capacity / 4);
        const size_t step = wanted >= kLargePage ? kLargePage : kStep;
        const size_t capacity =
            wanted <= SIZE_MAX - (step - 1) ? (wanted + step - 1) / step * step : wanted;
        const std::align_val_t alignment{step == kLargePage ? kLargePage
                                                            : alignof(std::max_align_t)};
        m_data.reset();
        m_capacity = 0;
        m_data = std::unique_ptr<uint8_t, CAlignedDelete>(
            static_cast<uint8_t*>(::operator new(capacity, alignment)), CAlignedDelete{alignment});
#ifdef MADV_HUGEPAGE
        if (step == kLargePage) {
            madvise(m_data.get(), capacity, MADV_HUGEPAGE);  // a hint: without it, small pages
        }
#endif
        m_capacity = capacity;
    }
    m_size = size;
}

}  // namespace zipcodec

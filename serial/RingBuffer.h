#pragma once

#include "Buffer.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

// Fixed-capacity ring that keeps the newest bytes: a write never refuses data, it overwrites the oldest.
//
// The capacity is a power of two, so a slot is index & (capacity - 1). Both indices run modulo twice the
// capacity, which tells full (indices differ by exactly the capacity) from empty (indices equal) without a
// separate count and without giving up a slot.
//
// Not thread-safe: the owner serializes every access (the serial port does so under its port lock).
template <typename T> class RingBuffer : public Buffer<T> {
  public:
    static constexpr std::uint32_t kDefaultCapacity = 4096;
    // Largest power of two that is kept as asked. Anything above falls back to the default, so that
    // 2 x capacity always fits in 32 bits and the index arithmetic cannot overflow.
    static constexpr std::uint32_t kMaxCapacity = 1u << 30;

    explicit RingBuffer(std::uint32_t requestedSize = kDefaultCapacity)
        : m_capacity(ChooseCapacity(requestedSize)), m_indexMask(2 * m_capacity - 1),
          m_data(new T[m_capacity]) {}

    RingBuffer(const RingBuffer&) = delete;
    RingBuffer& operator=(const RingBuffer&) = delete;

    // 0 -> 4096; a power of two up to 2^30 -> itself; anything above 2^30 (2^31 included) -> 4096;
    // otherwise the next power of two (3 -> 4, 1000 -> 1024, 4097 -> 8192).
    static constexpr std::uint32_t ChooseCapacity(std::uint32_t size) {
        if (size == 0 || size > kMaxCapacity) {
            return kDefaultCapacity;
        }
        if ((size & (size - 1)) == 0) {
            return size;
        }
        std::uint32_t v = size - 1;
        v |= v >> 1;
        v |= v >> 2;
        v |= v >> 4;
        v |= v >> 8;
        v |= v >> 16;
        return v + 1;
    }

    // Stores all count elements; when that overflows the capacity the oldest stored ones give way, so
    // the buffer then holds the newest capacity() elements. Returns count.
    unsigned write(const T* data, unsigned count) override {
        if (count == 0) {
            return 0;
        }
        // Only the last m_capacity elements of a long write can survive.
        const std::uint32_t kept = std::min<std::uint32_t>(count, m_capacity);
        const std::uint32_t used = usedSize();
        // Index arithmetic wraps at 2^32, which is a multiple of 2 x capacity, so masking stays exact.
        std::uint32_t first = (m_writeIndex + (count - kept)) & m_indexMask;
        copyIn(first, data + (count - kept), kept);
        m_writeIndex = (m_writeIndex + count) & m_indexMask;
        const std::uint32_t newUsed = (count >= m_capacity - used) ? m_capacity : used + count;
        m_readIndex = (m_writeIndex - newUsed) & m_indexMask;
        return count;
    }

    unsigned read(T* out, unsigned count) override {
        const std::uint32_t n = std::min<std::uint32_t>(count, usedSize());
        if (n == 0) {
            return 0;
        }
        const std::uint32_t slot = m_readIndex & (m_capacity - 1);
        const std::uint32_t head = std::min(n, m_capacity - slot);
        std::copy_n(m_data.get() + slot, head, out);
        std::copy_n(m_data.get(), n - head, out + head);
        m_readIndex = (m_readIndex + n) & m_indexMask;
        return n;
    }

    bool isFull() const override { return m_writeIndex == (m_readIndex ^ m_capacity); }
    bool isEmpty() const override { return m_writeIndex == m_readIndex; }
    unsigned usedSize() const override { return (m_writeIndex - m_readIndex) & m_indexMask; }
    unsigned freeSize() const override { return m_capacity - usedSize(); }
    unsigned capacity() const override { return m_capacity; }

  private:
    void copyIn(std::uint32_t index, const T* data, std::uint32_t n) {
        const std::uint32_t slot = index & (m_capacity - 1);
        const std::uint32_t head = std::min(n, m_capacity - slot);
        std::copy_n(data, head, m_data.get() + slot);
        std::copy_n(data + head, n - head, m_data.get());
    }

    std::uint32_t m_readIndex = 0;  // oldest stored element, modulo 2 x capacity
    std::uint32_t m_writeIndex = 0; // where the next element goes, modulo 2 x capacity
    std::uint32_t m_capacity;       // power of two, at most 2^30
    std::uint32_t m_indexMask;      // 2 x capacity - 1
    std::unique_ptr<T[]> m_data;    // not cleared: only stored slots are ever read
};

#include "RingBuffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

std::vector<char> Pattern(size_t n, unsigned seed = 0) {
    std::vector<char> v(n);
    for (size_t i = 0; i < n; ++i) {
        v[i] = static_cast<char>((i * 7 + seed) % 251);
    }
    return v;
}

std::vector<char> ReadAll(RingBuffer<char>& ring) {
    std::vector<char> out(ring.usedSize() + 16);
    out.resize(ring.read(out.data(), static_cast<unsigned>(out.size())));
    return out;
}

TEST(RingBufferTest, CapacityIsChosenFromTheRequestedSize) {
    const struct {
        std::uint32_t requested;
        std::uint32_t capacity;
    } cases[] = {
        {0, 4096},
        {1, 1},
        {3, 4},
        {1000, 1024},
        {4096, 4096},
        {4097, 8192},
        {5000, 8192},
        {(1u << 30) + 1, 4096},
        // 2^31 would need 2^32 index values; it falls back to the default like every size above 2^30.
        {1u << 31, 4096},
        {0xFFFFFFFFu, 4096},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RingBuffer<char>::ChooseCapacity(c.requested), c.capacity) << c.requested;
    }
    // Constructing allocates exactly that.
    for (std::uint32_t requested : {0u, 4096u, 5000u, (1u << 30) + 1}) {
        RingBuffer<char> ring(requested);
        EXPECT_EQ(ring.capacity(), RingBuffer<char>::ChooseCapacity(requested));
        EXPECT_TRUE(ring.isEmpty());
        EXPECT_FALSE(ring.isFull());
        EXPECT_EQ(ring.usedSize(), 0u);
        EXPECT_EQ(ring.freeSize(), ring.capacity());
    }
}

TEST(RingBufferTest, FillsExactlyToCapacity) {
    RingBuffer<char> ring(4096);
    const auto data = Pattern(4096);
    EXPECT_EQ(ring.write(data.data(), 4000), 4000u);
    EXPECT_FALSE(ring.isFull());
    EXPECT_EQ(ring.freeSize(), 96u);
    EXPECT_EQ(ring.write(data.data() + 4000, 96), 96u);
    EXPECT_TRUE(ring.isFull());
    EXPECT_FALSE(ring.isEmpty());
    EXPECT_EQ(ring.usedSize(), 4096u);
    EXPECT_EQ(ring.freeSize(), 0u);
    EXPECT_EQ(ReadAll(ring), data);
    EXPECT_TRUE(ring.isEmpty());
}

TEST(RingBufferTest, OverwriteKeepsTheNewestBytes) {
    // Past the capacity in one write, in many small writes, and by far more than twice the capacity.
    for (size_t total : {size_t{16 + 3}, size_t{16 * 5 + 7}}) {
        for (unsigned chunk : {1u, 5u, 1000u}) {
            RingBuffer<char> ring(16);
            const auto data = Pattern(total, chunk);
            for (size_t at = 0; at < total; at += chunk) {
                const unsigned n = static_cast<unsigned>(std::min<size_t>(chunk, total - at));
                EXPECT_EQ(ring.write(data.data() + at, n), n);
            }
            EXPECT_TRUE(ring.isFull());
            EXPECT_EQ(ReadAll(ring), std::vector<char>(data.end() - 16, data.end()))
                << "total " << total << " chunk " << chunk;
        }
    }
}

TEST(RingBufferTest, ZeroWriteAndEmptyOrShortReads) {
    RingBuffer<char> ring(8);
    char out[16] = {};
    EXPECT_EQ(ring.write("abc", 0), 0u);
    EXPECT_TRUE(ring.isEmpty());
    EXPECT_EQ(ring.read(out, 4), 0u);
    ring.write("abc", 3);
    EXPECT_EQ(ring.read(out, 0), 0u);
    EXPECT_EQ(ring.usedSize(), 3u);
    EXPECT_EQ(ring.read(out, 16), 3u);
    EXPECT_EQ(std::string(out, 3), "abc");
    EXPECT_TRUE(ring.isEmpty());
}

TEST(RingBufferTest, InterleavedWritesAndReadsWrapInOrder) {
    RingBuffer<char> ring(64);
    std::vector<char> written, read;
    unsigned seed = 1;
    // Enough traffic to wrap both indices (modulo 128) many times, never overflowing the ring.
    for (int round = 0; round < 500; ++round) {
        seed = seed * 1103515245u + 12345u;
        const unsigned n = (seed >> 16) % (ring.freeSize() + 1);
        const auto chunk = Pattern(n, static_cast<unsigned>(written.size()));
        ring.write(chunk.data(), n);
        written.insert(written.end(), chunk.begin(), chunk.end());
        char out[64];
        const unsigned want = (seed >> 8) % 65;
        const unsigned got = ring.read(out, want);
        EXPECT_EQ(got, std::min<unsigned>(want, static_cast<unsigned>(written.size() - read.size())));
        read.insert(read.end(), out, out + got);
        EXPECT_EQ(ring.usedSize(), written.size() - read.size());
    }
    const auto rest = ReadAll(ring);
    read.insert(read.end(), rest.begin(), rest.end());
    EXPECT_EQ(read, written);
}

} // namespace

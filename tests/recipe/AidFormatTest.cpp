// The .aid file image: where each value lands, and that bytes and recipe turn into each other without loss.
#include "AidFormat.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace {

std::vector<std::uint8_t> ToVector(const AidImage& image) {
    return {image.begin(), image.end()};
}

// Offsets written out from the layout (masks of 2 bytes, low byte first, then levels), independently of the
// code under test.
std::size_t MaskOffset(int c, int p, int k) {
    return static_cast<std::size_t>(2 * (40 * (c - 1) + 8 * (p - 1) + (k - 1)));
}
std::size_t LevelOffset(int c, int p, int k) {
    return static_cast<std::size_t>(240 + 40 * (c - 1) + 8 * (p - 1) + (k - 1));
}

} // namespace

TEST(AidFormat, NewRecipeIs240ZeroBytesThen120FF) {
    std::vector<std::uint8_t> expected(240, 0x00);
    expected.resize(360, 0xFF);
    EXPECT_EQ(ToVector(EncodeAid(Recipe())), expected);
}

TEST(AidFormat, EveryValueLandsOnItsOwnBytes) {
    // Every mask and level distinct, so that a value written to another place shows.
    Recipe r;
    for (int c = 1; c <= 3; ++c) {
        for (int p = 1; p <= 5; ++p) {
            for (int k = 1; k <= 8; ++k) {
                const int n = 40 * (c - 1) + 8 * (p - 1) + (k - 1);
                r.m_stepMasks[c - 1][p - 1][k - 1] = static_cast<std::uint16_t>(0x8000 | (n << 4) | 0x3);
                r.m_levels[c - 1][p - 1][k - 1] = static_cast<std::uint8_t>(n + 7);
            }
        }
    }
    const AidImage image = EncodeAid(r);
    std::vector<bool> seen(image.size(), false);
    for (int c = 1; c <= 3; ++c) {
        for (int p = 1; p <= 5; ++p) {
            for (int k = 1; k <= 8; ++k) {
                SCOPED_TRACE(testing::Message() << "camera " << c << " position " << p << " channel " << k);
                const std::uint16_t mask = r.m_stepMasks[c - 1][p - 1][k - 1];
                const std::size_t m = MaskOffset(c, p, k);
                EXPECT_EQ(image[m], mask & 0xFF);
                EXPECT_EQ(image[m + 1], mask >> 8);
                EXPECT_EQ(image[LevelOffset(c, p, k)], r.m_levels[c - 1][p - 1][k - 1]);
                seen[m] = seen[m + 1] = seen[LevelOffset(c, p, k)] = true;
            }
        }
    }
    EXPECT_EQ(std::count(seen.begin(), seen.end(), false), 0);

    // The worked example: All LED ON at camera 1 position 1, steps 1 and 16 at camera 1 position 2
    // channel 1, level 128 at camera 2 position 3 channel 4.
    Recipe w;
    w.m_stepMasks[0][0].fill(0xFFFF);
    w.m_stepMasks[0][1][0] = 0x8001;
    w.m_levels[1][2][3] = 128;
    const AidImage b = EncodeAid(w);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(b[static_cast<std::size_t>(i)], 0xFF) << i;
    }
    EXPECT_EQ(b[16], 0x01);
    EXPECT_EQ(b[17], 0x80);
    EXPECT_EQ(b[18], 0x00);
    EXPECT_EQ(b[299], 0x80);
}

// Every byte value at every offset goes through decoding and encoding unchanged, and so does the recipe.
TEST(AidFormat, EveryByteRoundTrips) {
    for (int seed = 0; seed < 256; ++seed) {
        SCOPED_TRACE(seed);
        AidImage image{};
        for (std::size_t i = 0; i < image.size(); ++i) {
            image[i] = static_cast<std::uint8_t>(seed + 37 * i);
        }
        const std::optional<Recipe> r = DecodeAid(image);
        ASSERT_TRUE(r.has_value());
        ASSERT_EQ(EncodeAid(*r), image);
        EXPECT_EQ(DecodeAid(EncodeAid(*r)), r);
    }
    // Values the editor never makes (a level of 0) are kept as they are.
    AidImage zeros{};
    const std::optional<Recipe> r = DecodeAid(zeros);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->m_levels[2][4][7], 0);
    EXPECT_EQ(r->m_stepMasks[0][0][0], 0);
}

TEST(AidFormat, FewerThan360BytesAreNoRecipeAndMoreAreReadAsTheirFirst360) {
    std::vector<std::uint8_t> bytes(ToVector(EncodeAid(Recipe())));
    bytes[0] = 0x01;
    bytes[1] = 0x80; // steps 1 and 16 of camera 1, position 1, channel 1
    bytes[359] = 0x07;
    for (std::size_t size : {0, 1, 239, 240, 358, 359}) {
        EXPECT_FALSE(DecodeAid(std::span(bytes.data(), size)).has_value()) << size;
    }
    const std::optional<Recipe> exact = DecodeAid(bytes);
    ASSERT_TRUE(exact.has_value());
    EXPECT_EQ(exact->m_stepMasks[0][0][0], 0x8001);
    EXPECT_EQ(exact->m_levels[2][4][7], 7);

    std::vector<std::uint8_t> longer = bytes;
    longer.insert(longer.end(), {0x22, 0x33});
    EXPECT_EQ(DecodeAid(longer), exact);
}

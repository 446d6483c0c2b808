#include "DownloadFrame.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>
#include <string>

namespace {

std::string Hex(const DownloadFrame& f) {
    std::string s;
    char b[4];
    for (std::uint8_t v : f) {
        std::snprintf(b, sizeof b, s.empty() ? "%02X" : " %02X", v);
        s += b;
    }
    return s;
}

TEST(DownloadFrame, NewRecipeWorkedExamples) {
    const Recipe r;
    const auto frames = BuildDownloadFrames(r.m_levels, r.m_stepMasks);
    ASSERT_EQ(frames.size(), 192u);
    const struct {
        int n;
        const char* hex;
    } cases[] = {
        {1, "AD 21 08 00 FF 7B"},  {2, "AD 22 08 00 FF 78"},  {3, "AD 23 08 00 FF 79"},
        {8, "AD 28 08 00 FF 72"},  {9, "AD 21 09 00 FF 7A"},  {32, "AD 28 0B 00 FF 71"},
        {33, "AD 21 28 00 00 A4"}, {34, "AD 22 28 00 00 A7"}, {64, "AD 28 2B 00 00 AE"},
        {65, "AD 21 10 00 FF 63"}, {97, "AD 21 30 00 00 BC"}, {192, "AD 28 3B 00 00 BE"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Hex(frames[c.n - 1]), c.hex) << "frame " << c.n;
    }
}

TEST(DownloadFrame, ValuesTravelHighByteFirst) {
    Recipe r;
    auto& levels = r.m_levels;
    auto& masks = r.m_stepMasks;
    levels[0][0][2] = 0x80;  // camera 1, position 1, channel 3
    masks[0][0][0] = 0x8001; // camera 1, position 1, channel 1: steps 1 and 16
    masks[0][0][1] = 0x8000; // only step 16
    masks[0][0][2] = 0x0001; // only step 1
    levels[0][0][3] = 1;
    const auto frames = BuildDownloadFrames(levels, masks);
    EXPECT_EQ(Hex(frames[2]), "AD 23 08 00 80 06");
    EXPECT_EQ(Hex(frames[3]), "AD 24 08 00 01 80");
    EXPECT_EQ(Hex(frames[32]), "AD 21 28 80 01 25");
    EXPECT_EQ(Hex(frames[33]).substr(9, 5), "80 00");
    EXPECT_EQ(Hex(frames[34]).substr(9, 5), "00 01");
}

// Every value distinct and derived from its place, so that a frame in the wrong slot or with the wrong
// address or channel shows.
TEST(DownloadFrame, OrderAddressesAndCheckOfEveryFrame) {
    Recipe r;
    auto& levels = r.m_levels;
    auto& masks = r.m_stepMasks;
    for (int c = 0; c < 3; ++c) {
        for (int p = 0; p < 5; ++p) {
            for (int k = 0; k < 8; ++k) {
                levels[c][p][k] = static_cast<std::uint8_t>(1 + c * 40 + p * 8 + k);
                masks[c][p][k] = static_cast<std::uint16_t>(0xAD00 + c * 40 + p * 8 + k);
            }
        }
    }
    const auto frames = BuildDownloadFrames(levels, masks);
    ASSERT_EQ(frames.size(), 192u);
    for (int c = 1; c <= 3; ++c) {
        for (int mask = 0; mask <= 1; ++mask) {
            for (int p = 1; p <= 4; ++p) {
                for (int k = 1; k <= 8; ++k) {
                    const int n = 64 * (c - 1) + 32 * mask + 8 * (p - 1) + k;
                    const DownloadFrame& f = frames[n - 1];
                    SCOPED_TRACE("frame " + std::to_string(n) + ": " + Hex(f));
                    EXPECT_EQ(f[0], 0xAD);
                    EXPECT_EQ(f[1], 0x20 + k);
                    EXPECT_EQ(f[2], (mask ? 32 : 0) + 8 * c + p - 1);
                    const unsigned value = mask ? masks[c - 1][p - 1][k - 1] : levels[c - 1][p - 1][k - 1];
                    EXPECT_EQ(f[3] << 8 | f[4], value);
                    EXPECT_EQ(f[0] ^ f[1] ^ f[2] ^ f[3] ^ f[4] ^ f[5], 0);
                }
            }
        }
    }
}

TEST(DownloadFrame, PositionFiveIsNeverSent) {
    Recipe r;
    const auto before = BuildDownloadFrames(r.m_levels, r.m_stepMasks);
    for (int c = 0; c < 3; ++c) {
        for (int k = 0; k < 8; ++k) {
            r.m_levels[c][4][k] = 7;
            r.m_stepMasks[c][4][k] = 0xFFFF;
        }
    }
    EXPECT_EQ(BuildDownloadFrames(r.m_levels, r.m_stepMasks), before);
}

TEST(DownloadFrame, ChannelOutsideOneToEightIsRefused) {
    EXPECT_THROW(MakeDownloadFrame(0, 0x08, 1), std::invalid_argument);
    EXPECT_THROW(MakeDownloadFrame(9, 0x08, 1), std::invalid_argument);
    EXPECT_EQ(Hex(MakeDownloadFrame(8, 0x3B, 0xADAD)), "AD 28 3B AD AD BE");
}

} // namespace

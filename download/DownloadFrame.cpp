#include "DownloadFrame.h"

#include <stdexcept>
#include <string>

namespace {

using namespace kavo::download;

template <typename T> void CheckShape(const std::vector<std::vector<std::vector<T>>>& a, const char* what) {
    bool ok = a.size() == static_cast<std::size_t>(kCameraCount);
    for (std::size_t c = 0; ok && c < a.size(); ++c) {
        ok = a[c].size() == static_cast<std::size_t>(kPositionCount);
        for (std::size_t p = 0; ok && p < a[c].size(); ++p) {
            ok = a[c][p].size() == static_cast<std::size_t>(kChannelCount);
        }
    }
    if (!ok) {
        throw std::invalid_argument(std::string(what) + " must be 3 cameras x 5 positions x 8 channels");
    }
}

} // namespace

DownloadFrame MakeDownloadFrame(int channel, std::uint8_t address, std::uint16_t value) {
    if (channel < 1 || channel > kChannelCount) {
        throw std::invalid_argument("channel must be 1..8, got " + std::to_string(channel));
    }
    DownloadFrame f{kFrameHeader,
                    static_cast<std::uint8_t>(kChannelCodeBase + channel),
                    address,
                    static_cast<std::uint8_t>(value >> 8),
                    static_cast<std::uint8_t>(value & 0xFF),
                    0};
    f[5] = static_cast<std::uint8_t>(f[0] ^ f[1] ^ f[2] ^ f[3] ^ f[4]);
    return f;
}

std::vector<DownloadFrame> BuildDownloadFrames(const LevelArray& levels, const MaskArray& stepMasks) {
    CheckShape(levels, "levels");
    CheckShape(stepMasks, "step masks");
    std::vector<DownloadFrame> frames;
    frames.reserve(kFrameCount);
    for (int c = 1; c <= kCameraCount; ++c) {
        for (int p = 1; p <= kSentPositionCount; ++p) {
            for (int k = 1; k <= kChannelCount; ++k) {
                frames.push_back(
                    MakeDownloadFrame(k, FrameAddress(c, p, false), levels[c - 1][p - 1][k - 1]));
            }
        }
        for (int p = 1; p <= kSentPositionCount; ++p) {
            for (int k = 1; k <= kChannelCount; ++k) {
                frames.push_back(
                    MakeDownloadFrame(k, FrameAddress(c, p, true), stepMasks[c - 1][p - 1][k - 1]));
            }
        }
    }
    return frames;
}

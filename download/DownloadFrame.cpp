#include "DownloadFrame.h"

#include <stdexcept>
#include <string>

using namespace kavo::download;

DownloadFrame MakeDownloadFrame(int channel, std::uint8_t address, std::uint16_t value) {
    if (channel < 1 || channel > Recipe::kChannels) {
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

std::vector<DownloadFrame> BuildDownloadFrames(const Recipe::LevelArray& levels,
                                               const Recipe::MaskArray& stepMasks) {
    std::vector<DownloadFrame> frames;
    frames.reserve(kFrameCount);
    for (int c = 1; c <= Recipe::kCameras; ++c) {
        for (int p = 1; p <= kSentPositionCount; ++p) {
            for (int k = 1; k <= Recipe::kChannels; ++k) {
                frames.push_back(
                    MakeDownloadFrame(k, FrameAddress(c, p, false), levels[c - 1][p - 1][k - 1]));
            }
        }
        for (int p = 1; p <= kSentPositionCount; ++p) {
            for (int k = 1; k <= Recipe::kChannels; ++k) {
                frames.push_back(
                    MakeDownloadFrame(k, FrameAddress(c, p, true), stepMasks[c - 1][p - 1][k - 1]));
            }
        }
    }
    return frames;
}

DownloadFrame MakeSlotFrame(int slot, std::uint16_t value) {
    if (slot < 0 || slot >= kFrameCount) {
        throw std::invalid_argument("frame slot must be 0..191, got " + std::to_string(slot));
    }
    const int camera = slot / 64 + 1;
    const bool mask = (slot % 64) >= 32;
    const int position = (slot % 32) / 8 + 1;
    const int channel = slot % 8 + 1;
    return MakeDownloadFrame(channel, FrameAddress(camera, position, mask), value);
}

FrameValueArray FrameValues(const Recipe::LevelArray& levels, const Recipe::MaskArray& stepMasks) {
    FrameValueArray values{};
    for (int c = 1; c <= Recipe::kCameras; ++c) {
        for (int p = 1; p <= kSentPositionCount; ++p) {
            for (int k = 1; k <= Recipe::kChannels; ++k) {
                values[static_cast<std::size_t>(FrameSlot(c, p, k, false))] = levels[c - 1][p - 1][k - 1];
                values[static_cast<std::size_t>(FrameSlot(c, p, k, true))] = stepMasks[c - 1][p - 1][k - 1];
            }
        }
    }
    return values;
}

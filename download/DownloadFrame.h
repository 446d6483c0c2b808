#pragma once

#include "Recipe.h"

#include <array>
#include <cstdint>
#include <vector>

// One download frame as it goes on the wire: 0xAD, 0x20 + channel, address, value high, value low, check.
// The check is the exclusive OR of the first five bytes, so the six bytes of a good frame XOR to 0.
using DownloadFrame = std::array<std::uint8_t, 6>;

namespace kavo::download {
inline constexpr std::uint8_t kFrameHeader = 0xAD;
inline constexpr std::uint8_t kChannelCodeBase = 0x20; // channel k (1..8) travels as 0x20 + k
inline constexpr int kSentPositionCount = 4; // positions the controller receives; position 5 is never sent
inline constexpr int kFrameCount = Recipe::kCameras * kSentPositionCount * Recipe::kChannels * 2; // 192
inline constexpr std::uint8_t kMaskAddressBit = 0x20;

// Address byte for camera (1..3) and position (1..4): bits 0..2 position - 1, bits 3..4 camera,
// bit 5 set for a mask frame.
constexpr std::uint8_t FrameAddress(int camera, int position, bool mask) {
    return static_cast<std::uint8_t>((mask ? kMaskAddressBit : 0) + 8 * camera + (position - 1));
}

// One frame address of the controller (camera, position 1..4, channel, level or mask) as its place in the
// sending order, 0..191: frame number n of a download is slot n - 1.
constexpr int FrameSlot(int camera, int position, int channel, bool mask) {
    return 64 * (camera - 1) + (mask ? 32 : 0) + 8 * (position - 1) + (channel - 1);
}

// The 192 values a recipe gives the controller, by slot.
using FrameValueArray = std::array<std::uint16_t, kFrameCount>;
} // namespace kavo::download

// Builds one frame. channel is 1..8; throws std::invalid_argument for any other channel.
DownloadFrame MakeDownloadFrame(int channel, std::uint8_t address, std::uint16_t value);

// The frame of one slot (0..191) carrying value.
DownloadFrame MakeSlotFrame(int slot, std::uint16_t value);

// The value of every slot for a recipe: levels and masks of positions 1..4.
kavo::download::FrameValueArray FrameValues(const Recipe::LevelArray& levels,
                                            const Recipe::MaskArray& stepMasks);
inline kavo::download::FrameValueArray FrameValues(const Recipe& recipe) {
    return FrameValues(recipe.m_levels, recipe.m_stepMasks);
}

// The whole download in sending order: for camera 1..3, its 32 level frames (position 1..4, channel 1..8)
// then its 32 mask frames in the same order. Always 192 frames.
std::vector<DownloadFrame> BuildDownloadFrames(const Recipe::LevelArray& levels,
                                               const Recipe::MaskArray& stepMasks);

#pragma once

#include "Recipe.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

// The .aid recipe file: a byte image without header, version or check. First the 120 masks as 16-bit
// little-endian words (low byte first), then the 120 levels as one byte each; each block in camera,
// position, channel order. So the mask of camera c, position p, channel k (1-based) is at bytes
// 2 x (40(c-1) + 8(p-1) + (k-1)) and the next, its level at byte 240 + 40(c-1) + 8(p-1) + (k-1).
// No Qt and no I/O: the document, the journal's hash, the simulator's dump and kavo-cli all go through
// these two functions.
inline constexpr std::size_t kAidMaskBytes = 2 * Recipe::kCameras * Recipe::kPositions * Recipe::kChannels;
inline constexpr std::size_t kAidFileSize =
    kAidMaskBytes + Recipe::kCameras * Recipe::kPositions * Recipe::kChannels; // 360

using AidImage = std::array<std::uint8_t, kAidFileSize>;

// The file image of recipe.
AidImage EncodeAid(const Recipe& recipe);

// The recipe held by the first kAidFileSize bytes of bytes, every value taken as it is (no range check: a
// level of 0 stays 0). Bytes after them play no part. std::nullopt when there are fewer.
std::optional<Recipe> DecodeAid(std::span<const std::uint8_t> bytes);

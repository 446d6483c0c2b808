#include "AidFormat.h"

namespace {

// The file's order, for masks and levels alike: camera, then position, then channel. fn(ci, pi, ki, n)
// gets the array indexes and the setting's number n (0..119) in that order.
template <typename Fn> void ForEachSetting(Fn fn) {
    std::size_t n = 0;
    for (std::size_t ci = 0; ci < Recipe::kCameras; ++ci) {
        for (std::size_t pi = 0; pi < Recipe::kPositions; ++pi) {
            for (std::size_t ki = 0; ki < Recipe::kChannels; ++ki) {
                fn(ci, pi, ki, n++);
            }
        }
    }
}

} // namespace

AidImage EncodeAid(const Recipe& recipe) {
    AidImage image{};
    ForEachSetting([&](std::size_t ci, std::size_t pi, std::size_t ki, std::size_t n) {
        const std::uint16_t mask = recipe.m_stepMasks[ci][pi][ki];
        image[2 * n] = static_cast<std::uint8_t>(mask & 0xFF); // little-endian
        image[2 * n + 1] = static_cast<std::uint8_t>(mask >> 8);
        image[kAidMaskBytes + n] = recipe.m_levels[ci][pi][ki];
    });
    return image;
}

std::optional<Recipe> DecodeAid(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kAidFileSize) {
        return std::nullopt;
    }
    Recipe recipe;
    ForEachSetting([&](std::size_t ci, std::size_t pi, std::size_t ki, std::size_t n) {
        recipe.m_stepMasks[ci][pi][ki] = static_cast<std::uint16_t>(bytes[2 * n] | (bytes[2 * n + 1] << 8));
        recipe.m_levels[ci][pi][ki] = bytes[kAidMaskBytes + n];
    });
    return recipe;
}

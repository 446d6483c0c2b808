#include "AidFormat.h"

AidImage EncodeAid(const Recipe& recipe) {
    AidImage image{};
    std::size_t m = 0;
    std::size_t l = kAidMaskBytes;
    for (int c = 0; c < Recipe::kCameras; ++c) {
        for (int p = 0; p < Recipe::kPositions; ++p) {
            for (int k = 0; k < Recipe::kChannels; ++k) {
                const auto ci = static_cast<std::size_t>(c);
                const auto pi = static_cast<std::size_t>(p);
                const auto ki = static_cast<std::size_t>(k);
                const std::uint16_t mask = recipe.m_stepMasks[ci][pi][ki];
                image[m++] = static_cast<std::uint8_t>(mask & 0xFF);
                image[m++] = static_cast<std::uint8_t>(mask >> 8);
                image[l++] = recipe.m_levels[ci][pi][ki];
            }
        }
    }
    return image;
}

std::optional<Recipe> DecodeAid(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kAidFileSize) {
        return std::nullopt;
    }
    Recipe recipe;
    std::size_t m = 0;
    std::size_t l = kAidMaskBytes;
    for (int c = 0; c < Recipe::kCameras; ++c) {
        for (int p = 0; p < Recipe::kPositions; ++p) {
            for (int k = 0; k < Recipe::kChannels; ++k) {
                const auto ci = static_cast<std::size_t>(c);
                const auto pi = static_cast<std::size_t>(p);
                const auto ki = static_cast<std::size_t>(k);
                recipe.m_stepMasks[ci][pi][ki] = static_cast<std::uint16_t>(bytes[m] | (bytes[m + 1] << 8));
                m += 2;
                recipe.m_levels[ci][pi][ki] = bytes[l++];
            }
        }
    }
    return recipe;
}

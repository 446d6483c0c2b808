#pragma once

#include <array>
#include <cstdint>

// A lighting recipe as a plain value: for each of 3 cameras and 5 positions, the intensity of 8 channels and
// each channel's 16-step on/off mask. The shape is part of the type, so a recipe of another shape does not
// compile. A default-constructed recipe holds the new-recipe values. No Qt: the download and the virtual
// controller use it as the document does.
struct Recipe {
    static constexpr int kCameras = 3;
    static constexpr int kPositions = 5;
    static constexpr int kChannels = 8;
    static constexpr int kSteps = 16; // bits of a mask: bit s-1 = step s
    static constexpr std::uint8_t kNewLevel = 255;
    static constexpr std::uint16_t kNewMask = 0x0000;

    // [camera][position][channel], indexed from 0.
    template <typename T>
    using Array = std::array<std::array<std::array<T, kChannels>, kPositions>, kCameras>;
    using LevelArray = Array<std::uint8_t>;
    using MaskArray = Array<std::uint16_t>;
    // The 8 channels of one camera and position.
    using ChannelLevels = std::array<std::uint8_t, kChannels>;
    using ChannelMasks = std::array<std::uint16_t, kChannels>;

    template <typename T> static constexpr Array<T> Filled(T value) {
        Array<T> a{};
        for (auto& camera : a) {
            for (auto& position : camera) {
                position.fill(value);
            }
        }
        return a;
    }

    LevelArray m_levels = Filled(kNewLevel);
    MaskArray m_stepMasks = Filled(kNewMask);

    friend bool operator==(const Recipe&, const Recipe&) = default;
};

#pragma once

#include "DownloadFrame.h"

// The arrays of a new recipe: every level 255, every mask 0.
inline LevelArray NewLevels() {
    return LevelArray(3, std::vector<std::vector<std::uint8_t>>(5, std::vector<std::uint8_t>(8, 255)));
}
inline MaskArray NewMasks() {
    return MaskArray(3, std::vector<std::vector<std::uint16_t>>(5, std::vector<std::uint16_t>(8, 0)));
}

// Display levels derived from the histogram of the image (Auto Contrast).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "image/state.hpp"

namespace qtx {

struct ContrastLevels {
    std::int32_t background = 0;
    std::int32_t range = 0;
};

// Levels for the first `width` x `height` pixels of the array (never more than the array
// holds): black one 64-count bin below the bin of the 20th percentile, lowered by a tenth of
// the range; white one bin below the bin of the 99th percentile; the range at least 128.
ContrastLevels autoContrastLevels(const PixelArray& pixels, std::int32_t width,
                                  std::int32_t height);

// A level typed into the contrast dialog: the whole text one number (blanks around it
// allowed), rounded half to even, within 32 bits. Anything else is no level.
std::optional<std::int32_t> typedLevel(const std::string& text);

}  // namespace qtx

// The display levels of Auto Contrast, from the histogram of the image.
#include "image/contrast.hpp"

#include <algorithm>
#include <array>

#include "text/numtext.hpp"

namespace qtx {

namespace {

constexpr int kBins = 1025;
constexpr int kBinWidth = 64;

// The first bin at which the running count exceeds the threshold; kBins if none does.
std::int32_t binAbove(const std::array<std::int32_t, kBins>& counts, std::int32_t threshold) {
    std::int32_t sum = 0;
    for (std::int32_t i = 0; i < kBins; ++i) {
        sum += counts[static_cast<std::size_t>(i)];
        if (sum > threshold) return i;
    }
    return kBins;
}

}  // namespace

std::optional<std::int32_t> typedLevel(const std::string& text) {
    const std::optional<double> value = readWholeNumber(text);
    if (!value) return std::nullopt;
    return roundToInt32(*value);
}

ContrastLevels autoContrastLevels(const PixelArray& pixels, std::int32_t width,
                                  std::int32_t height) {
    // During a reception the record may name a larger image than the array now holds.
    const std::int32_t w = std::clamp<std::int32_t>(width, 0, pixels.width);
    const std::int32_t h = std::clamp<std::int32_t>(height, 0, pixels.height);
    std::array<std::int32_t, kBins> counts{};
    for (std::int32_t y = 1; y <= h; ++y) {
        for (std::int32_t x = 1; x <= w; ++x) ++counts[pixels.at(x, y) / kBinWidth];
    }
    const std::int32_t lower = (w * h) / 5;
    const std::int32_t upper = (w * 99 * h) / 100;
    ContrastLevels levels;
    levels.background = (binAbove(counts, lower) - 1) * kBinWidth;
    levels.range = (binAbove(counts, upper) - 1) * kBinWidth - levels.background;
    if (levels.range < 128) levels.range = 128;
    levels.background -= levels.range / 10;
    if (levels.background < 0) levels.background = 0;
    return levels;
}

}  // namespace qtx

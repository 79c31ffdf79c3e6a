// The histogram of the contrast dialog and the arithmetic of drawing it.
#include "image/histogram.hpp"

#include <algorithm>
#include <cmath>

#include "image/contrast.hpp"

namespace qtx {

Histogram pixelHistogram(const PixelArray& pixels, std::int32_t width, std::int32_t height) {
    const std::int32_t w = std::clamp<std::int32_t>(width, 0, pixels.width);
    const std::int32_t h = std::clamp<std::int32_t>(height, 0, pixels.height);
    Histogram histogram;
    if (w == 0 || h == 0) return histogram;
    std::int32_t lowest = pixels.at(1, 1);
    std::int32_t highest = lowest;
    for (std::int32_t y = 1; y <= h; ++y) {
        for (std::int32_t x = 1; x <= w; ++x) {
            lowest = std::min<std::int32_t>(lowest, pixels.at(x, y));
            highest = std::max<std::int32_t>(highest, pixels.at(x, y));
        }
    }
    const std::int32_t values = highest - lowest + 1;
    histogram.low = lowest;
    histogram.binWidth = (values + kHistogramBins - 1) / kHistogramBins;
    histogram.counts.assign(
        static_cast<std::size_t>((values + histogram.binWidth - 1) / histogram.binWidth), 0);
    for (std::int32_t y = 1; y <= h; ++y) {
        for (std::int32_t x = 1; x <= w; ++x) {
            ++histogram.counts[static_cast<std::size_t>((pixels.at(x, y) - lowest) /
                                                        histogram.binWidth)];
        }
    }
    return histogram;
}

HistogramMark histogramMark(const Histogram& histogram, std::int64_t value, double span) {
    if (histogram.counts.empty()) return {0.0, 0};
    if (value < histogram.low) return {0.0, -1};
    if (value > histogram.high()) return {span, 1};
    const auto values = static_cast<double>(histogram.high() - histogram.low);
    return {static_cast<double>(value - histogram.low) / values * span, 0};
}

double logBarHeight(std::int32_t count, std::int32_t largest, double span) {
    if (largest <= 0) return 0.0;
    // log(1 + n) so that a count of 1 is not log 1 = 0, flat on the axis.
    return span * std::log1p(static_cast<double>(count)) / std::log1p(static_cast<double>(largest));
}

std::optional<ContrastMarks> typedContrastMarks(const std::string& background,
                                                const std::string& range) {
    const std::optional<std::int32_t> black = typedLevel(background);
    const std::optional<std::int32_t> span = typedLevel(range);
    if (!black || !span || *span == 0) return std::nullopt;
    return ContrastMarks{*black, static_cast<std::int64_t>(*black) + *span};
}

}  // namespace qtx

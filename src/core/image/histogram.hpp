// The histogram the contrast dialog draws, and where a display level falls across it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "image/state.hpp"

namespace qtx {

// Pixel counts in bins of equal width from the image's smallest value to its largest, at
// most kHistogramBins of them. Spanning min..max rather than the whole 16-bit range keeps a
// sky that fills a few hundred counts from collapsing into one or two bars; the dialog draws
// the counts on a log scale, so the few bright star pixels still show beside the sky.
struct Histogram {
    std::int32_t low = 0;              // the smallest value of bin 0
    std::int32_t binWidth = 1;         // values a bin holds
    std::vector<std::int32_t> counts;  // empty: no image

    std::int64_t high() const {  // one past the last value of the last bin
        return low + static_cast<std::int64_t>(binWidth) * static_cast<std::int64_t>(counts.size());
    }
    friend bool operator==(const Histogram&, const Histogram&) = default;
};

inline constexpr int kHistogramBins = 256;

// The histogram of the first `width` x `height` pixels of the array (never more than the
// array holds, as during a reception).
Histogram pixelHistogram(const PixelArray& pixels, std::int32_t width, std::int32_t height);

// Where `value` falls across the histogram drawn `span` units wide: `low` at 0, high() at
// `span`. A level beyond either end is held at that end and says which one it passed.
struct HistogramMark {
    double position = 0.0;
    int beyond = 0;  // -1 below the first bin, +1 above the last, 0 within
    friend bool operator==(const HistogramMark&, const HistogramMark&) = default;
};
HistogramMark histogramMark(const Histogram& histogram, std::int64_t value, double span);

// Height of a bar of `count` on a log scale whose tallest bar, `largest`, is `span` high; a
// single pixel still shows.
double logBarHeight(std::int32_t count, std::int32_t largest, double span);

// The levels the console would take from the dialog's two boxes: Background, and
// Background + Range. Both only while both texts are numbers the console accepts (a range
// of 0 is not one, it has no picture).
struct ContrastMarks {
    std::int64_t background = 0;
    std::int64_t top = 0;
    friend bool operator==(const ContrastMarks&, const ContrastMarks&) = default;
};
std::optional<ContrastMarks> typedContrastMarks(const std::string& background,
                                                const std::string& range);

}  // namespace qtx

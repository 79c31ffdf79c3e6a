#include "image/flat_correction.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

namespace qtx {

namespace {

// Flat values and results sit on a floor of 100 counts.
constexpr std::int32_t kFloor = 100;
constexpr float kFloorF = 100.0F;
constexpr float kHighest = 65534.0F;
constexpr float kLowest = 1.0F;
// The normalising box: 11 x 11 pixels around (W \ 2, H \ 2). Its first column W \ 2 - 5 is
// inside the image only from 12 columns on, and likewise for rows.
constexpr std::int32_t kBoxHalf = 5;
constexpr std::int32_t kBoxCells = (2 * kBoxHalf + 1) * (2 * kBoxHalf + 1);
constexpr std::int32_t kSmallest = 2 * kBoxHalf + 2;

// In 32 bits throughout: 64 exposures of 65535 sum to 4,187,840 a pixel, and the 121 of the
// box to 506,728,640, both well inside the range.
struct FlatSum {
    std::int32_t width;
    std::vector<std::int32_t> cells;
    std::int32_t& at(std::int32_t x, std::int32_t y) {
        return cells[static_cast<std::size_t>(y - 1) * static_cast<std::size_t>(width) +
                     static_cast<std::size_t>(x - 1)];
    }
};

std::int16_t asSigned16(std::int32_t word) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(word & 0xFFFF));
}

}  // namespace

FlatCorrection correctFlatField(const PixelArray& image, std::int32_t width, std::int32_t height,
                                std::int32_t pedestal, const PixelArray& flat,
                                const TrackOffsets& track) {
    FlatCorrection out;
    if (width < kSmallest || height < kSmallest) {
        out.outcome = FlatCorrection::Outcome::TooSmall;
        return out;
    }
    if (!image.holds(width, height) || !flat.holds(width, height)) {
        out.outcome = FlatCorrection::Outcome::Incomplete;
        return out;
    }

    FlatSum sum{width, std::vector<std::int32_t>(static_cast<std::size_t>(width) *
                                                 static_cast<std::size_t>(height))};
    for (std::int32_t y = 1; y <= height; ++y) {
        for (std::int32_t x = 1; x <= width; ++x) sum.at(x, y) = flat.at(x, y) - kFloor;
    }

    std::int32_t xmin = 1, xmax = width, ymin = 1, ymax = height;
    // Track offsets come from files and the QTX; a count beyond the 64 pairs held is cut.
    const std::int32_t exposures = std::clamp<std::int32_t>(track.trackcount, 1, kMaxTrackPairs);
    for (std::int32_t k = 2; k <= exposures; ++k) {
        const std::int32_t dx = track.trackx[static_cast<std::size_t>(k)];
        const std::int32_t dy = track.tracky[static_cast<std::size_t>(k)];
        const std::int32_t x1 = std::max(dx + 1, 1);
        const std::int32_t x2 = std::min(dx + width, width);
        const std::int32_t y1 = std::max(dy + 1, 1);
        const std::int32_t y2 = std::min(dy + height, height);
        xmin = std::max(xmin, x1);
        xmax = std::min(xmax, x2);
        ymin = std::max(ymin, y1);
        ymax = std::min(ymax, y2);
        if (x1 > x2) continue;  // this exposure covers none of the image
        for (std::int32_t y = y1; y <= y2; ++y) {
            // x - dx runs over 1..width and y - dy over 1..height: inside the flat.
            const std::uint16_t* from =
                flat.cells.data() +
                static_cast<std::size_t>(y - dy - 1) * static_cast<std::size_t>(flat.width) +
                static_cast<std::size_t>(x1 - dx - 1);
            std::int32_t* to = &sum.at(x1, y);
            for (std::int32_t x = x1; x <= x2; ++x) *to++ += *from++ - kFloor;
        }
    }

    const std::int32_t cx = width / 2;
    const std::int32_t cy = height / 2;
    std::int32_t total = 0;
    for (std::int32_t y = cy - kBoxHalf; y <= cy + kBoxHalf; ++y) {
        for (std::int32_t x = cx - kBoxHalf; x <= cx + kBoxHalf; ++x) total += sum.at(x, y);
    }
    out.mean = total / kBoxCells;
    out.xmin = xmin;
    out.xmax = xmax;
    out.ymin = ymin;
    out.ymax = ymax;
    if (out.mean <= 0) {
        out.outcome = FlatCorrection::Outcome::DarkCentre;
        return out;
    }
    if (xmin > xmax || ymin > ymax) {
        out.outcome = FlatCorrection::Outcome::NoCommonRegion;
        return out;
    }

    // Single precision with a rounding after every step, so that a corrected image is the same
    // to the last count on every machine.
    const float p = static_cast<float>(pedestal);
    const float m = static_cast<float>(out.mean);
    out.pixels.resize(static_cast<std::int16_t>(xmax - xmin + 1),
                      static_cast<std::int16_t>(ymax - ymin + 1));
    for (std::int32_t y = ymin; y <= ymax; ++y) {
        for (std::int32_t x = xmin; x <= xmax; ++x) {
            const std::int32_t s = sum.at(x, y);
            float q = 0.0F;
            if (s > 0) {
                float a = static_cast<float>(image.at(x, y)) + p;
                a = a - kFloorF;
                a = a * m;
                q = a / static_cast<float>(s);
            }
            float r = q + kFloorF;
            if (r > kHighest) r = kHighest;
            if (r < kLowest) r = kLowest;
            out.pixels.at(x - xmin + 1, y - ymin + 1) =
                static_cast<std::uint16_t>(std::nearbyint(r));
        }
    }
    out.outcome = FlatCorrection::Outcome::Corrected;
    return out;
}

TrackOffsets receivedTrackOffsets(const std::array<std::int32_t, 320>& tracklist,
                                  std::int16_t numexposures) {
    TrackOffsets offsets;
    offsets.trackcount = std::clamp<std::int16_t>(numexposures, 1, kMaxTrackPairs);
    for (std::size_t j = 1; j <= static_cast<std::size_t>(offsets.trackcount); ++j) {
        offsets.trackx[j] = asSigned16(tracklist[2 * j - 2]);
        offsets.tracky[j] = asSigned16(tracklist[2 * j - 1]);
    }
    return offsets;
}

}  // namespace qtx

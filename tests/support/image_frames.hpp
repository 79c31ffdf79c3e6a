// The frames of a whole image as the QTX sends them, built independently of the code under
// test: the header block word for word, one raw row a row, and the track row that ends a
// summed image or a mosaic.
#pragma once

#include <functional>
#include <vector>

#include "test_frames.hpp"

namespace qtx::test {

// Flag bits of the header block's first word.
inline constexpr std::uint16_t kInches = 0x2, kFactor98 = 0x4, kPixels148 = 0x20;
inline constexpr std::uint16_t kAfternoon = 0x400;
inline constexpr std::uint16_t kLunar = 0x800, kHistoryG = 0x1000, kMosaicOf40 = 0x2000;
inline constexpr std::uint16_t kMosaicOf6 = 0x4000;

// Every word of the header block. The flags keep the units the console starts with; the
// rows are numbered from 0, as 200 names the track row.
struct ImageHeader {
    std::uint16_t flags = kInches | kFactor98, height = 1, width = 1, firstrow = 0;
    std::uint16_t firstcolumn = 0, exposure = 0, numexposures = 1, focallength = 0;
    std::uint16_t aperture = 0, date = 0, time = 0, temperature = 0, site = 0, egain = 0;
    std::uint16_t background = 0, range = 256, pedestal = 0;
    std::vector<std::uint16_t> trackRow = std::vector<std::uint16_t>(320);
};

inline Bytes imageHeaderFrame(const ImageHeader& h) {
    return frameOf(4,
                   wordBytes({h.flags, h.height, h.width, h.firstrow, h.firstcolumn, h.exposure,
                              h.numexposures, 0, 0, h.focallength, h.aperture, h.date, h.time,
                              h.temperature, h.site, h.egain, h.background, h.range, h.pedestal}));
}

// The header, then rows with pixel (x, y) = value(x, y), then the track row unless the image
// is a single exposure.
inline std::vector<Bytes> imageFrames(const ImageHeader& h,
                                      const std::function<int(int, int)>& value) {
    std::vector<Bytes> frames{imageHeaderFrame(h)};
    for (int y = 1; y <= h.height; ++y) {
        std::vector<std::uint16_t> row;
        for (int x = 1; x <= h.width; ++x) row.push_back(static_cast<std::uint16_t>(value(x, y)));
        frames.push_back(rawRow(row));
    }
    if (h.numexposures != 1 || (h.flags & (kMosaicOf6 | kMosaicOf40)) != 0)
        frames.push_back(rawRow(h.trackRow));
    return frames;
}

}  // namespace qtx::test

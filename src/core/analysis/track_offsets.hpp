// How well a summed image was guided: the offset of each exposure and their scatter.
#pragma once

#include <optional>
#include <vector>

#include "files/state.hpp"

namespace qtx {

struct ExposureOffset {
    int number = 0;  // 1..count
    int x = 0;       // column offset, pixels
    int y = 0;       // row offset, pixels
};

struct TrackScatter {
    std::vector<ExposureOffset> exposures;
    double meanX = 0.0, meanY = 0.0;
    // Root mean square about the mean, in pixels: each axis, and both together
    // (sqrt(rmsX^2 + rmsY^2)).
    double rmsX = 0.0, rmsY = 0.0, rms = 0.0;
    std::optional<double> rmsXArcsec, rmsYArcsec, rmsArcsec;  // when the scale is known
};

// The exposures 1..trackcount (at most 64; at least 1) of `track`.
TrackScatter trackScatter(const TrackOffsets& track,
                          std::optional<double> arcsecPerPixel = std::nullopt);

}  // namespace qtx

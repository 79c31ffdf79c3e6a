#include "analysis/track_offsets.hpp"

#include <algorithm>
#include <cmath>

namespace qtx {

TrackScatter trackScatter(const TrackOffsets& track, std::optional<double> arcsecPerPixel) {
    TrackScatter out;
    const int count = std::clamp<int>(track.trackcount, 1, kMaxTrackPairs);
    double sumX = 0.0, sumY = 0.0;
    for (int k = 1; k <= count; ++k) {
        const auto at = static_cast<std::size_t>(k);
        out.exposures.push_back({k, track.trackx[at], track.tracky[at]});
        sumX += track.trackx[at];
        sumY += track.tracky[at];
    }
    out.meanX = sumX / count;
    out.meanY = sumY / count;
    // About the mean, not about zero: the offsets are counted from wherever the guide star
    // stood at the start, so a constant shift is only that reference and blurs nothing; the
    // scatter about the mean is what smears the sum. Divided by the number of exposures (not
    // one less): it describes these exposures, it does not estimate a wider population.
    double ssX = 0.0, ssY = 0.0;
    for (const ExposureOffset& e : out.exposures) {
        ssX += (e.x - out.meanX) * (e.x - out.meanX);
        ssY += (e.y - out.meanY) * (e.y - out.meanY);
    }
    out.rmsX = std::sqrt(ssX / count);
    out.rmsY = std::sqrt(ssY / count);
    out.rms = std::sqrt((ssX + ssY) / count);
    if (arcsecPerPixel && std::isfinite(*arcsecPerPixel) && *arcsecPerPixel > 0.0) {
        out.rmsXArcsec = out.rmsX * *arcsecPerPixel;
        out.rmsYArcsec = out.rmsY * *arcsecPerPixel;
        out.rmsArcsec = out.rms * *arcsecPerPixel;
    }
    return out;
}

}  // namespace qtx

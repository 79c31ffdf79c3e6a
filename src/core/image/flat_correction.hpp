// Flat-field arithmetic: an image summed from shifted exposures divided by a flat frame that
// has been shifted and summed the same way.
//
//   flatsum(x, y) = sum over exposures k of flat(x - dx_k, y - dy_k) - 100, where covered
//   mean          = total of flatsum over the 11 x 11 box at (W \ 2, H \ 2), \ 121
//   result(x, y)  = (image(x, y) + pedestal - 100) * mean / flatsum(x, y) + 100
//                   (single precision, 100 where flatsum <= 0, clamped 1..65534, half to even)
//
// Only the region that every exposure covers is kept; it moves to column 1, row 1.
#pragma once

#include <array>
#include <cstdint>

#include "files/state.hpp"
#include "image/state.hpp"

namespace qtx {

struct FlatCorrection {
    enum class Outcome {
        Corrected,
        Incomplete,      // the image or flat array does not hold width x height pixels
        TooSmall,        // fewer than 12 columns or rows: the centre box would leave the image
        DarkCentre,      // the mean of the centre box is 0 or less
        NoCommonRegion,  // the shifts leave no pixel that every exposure covers
    };
    Outcome outcome = Outcome::Incomplete;
    PixelArray pixels;  // the corrected region, exactly its size; empty unless Corrected
    // The region common to all exposures, in columns and rows of the image before the crop.
    std::int32_t xmin = 0, xmax = 0, ymin = 0, ymax = 0;
    std::int32_t mean = 0;
};

// Corrects the first width x height pixels of `image` with `flat` (same size) for the
// exposures of `track`: exposure 1 unshifted, exposures 2..trackcount (at most 64) shifted by
// (trackx, tracky). Nothing is read outside either array, whatever the sizes and shifts.
FlatCorrection correctFlatField(const PixelArray& image, std::int32_t width, std::int32_t height,
                                std::int32_t pedestal, const PixelArray& flat,
                                const TrackOffsets& track);

// The track offsets of an image just received: pair j from words 2j-2 and 2j-1 of its track
// row, read as signed 16-bit; one pair for every exposure, 1 to 64.
TrackOffsets receivedTrackOffsets(const std::array<std::int32_t, 320>& tracklist,
                                  std::int16_t numexposures);

}  // namespace qtx

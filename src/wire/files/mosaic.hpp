// Mosaic data files (".txt"): a tab-separated table, lines ended by CR LF, one data line a
// snapshot: Number, Time (ms after the first, centre of exposure), Counts above the box's
// own background, X-Cen and Y-Cen (mm from the centre of the box, "##0.000").
//
// The 40-snapshot mosaic lays its snapshots in 8 columns by 5 rows of 40 x 40 boxes,
// snapshot 1 at the top left. In a box, local positions 1..38 are measured: the ring of
// rows 1 and 38 and columns 1 and 38 (152 samples, corners twice) gives the background,
// the interior 2..37 the counts and centroid.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "image/state.hpp"

namespace qtx {

struct MosaicBox {
    std::int32_t counts = 0;
    float xcen = 0.0F;  // mm from the box centre
    float ycen = 0.0F;
};

// Measures box i (1..40) of the image. A box reaching outside the pixel array, or one whose
// counts sum to 0, gives counts 0 and a centroid of 0.
MosaicBox measureBox(const PixelArray& pixels, int snapshot, float pixelsize);

std::string mosaicDataText(const ImageRecord& record,
                           const std::array<std::int32_t, 320>& tracklist);

}  // namespace qtx

// Grey levels of the picture: a pixel value p shows as
//   g = round-half-even((p - background) / s), clamped to 0..255,
// with the divisor s = range / 256 worked out once per picture as a 32-bit float.
#pragma once

#include <cstdint>

#include "image/state.hpp"

namespace qtx {

// The divisor s for a range; the range is never 0 when a picture is drawn.
float levelStep(std::int32_t range);

// The grey level of pixel value p. Never faults: a step of 0 gives white above the
// background and black elsewhere.
std::uint8_t greyLevel(std::uint16_t p, std::int32_t background, float step);

// One rendering: the image (the flat frame while `showflat`) centred on a surface of
// columns x rows, black around it, with the record's background and range.
struct Rendering {
    Picture picture;
    std::int16_t xoffset = 0;         // surface column of image column 1
    std::int16_t yoffset = 0;         // surface row of image row 1
    std::int32_t paintedColumns = 0;  // image columns and rows that lie on the surface
    std::int32_t paintedRows = 0;
};
Rendering renderPicture(const ImageRecord& record, const FlatField& flat, std::int32_t columns,
                        std::int32_t rows);

}  // namespace qtx

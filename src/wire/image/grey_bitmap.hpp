// Windows bitmap files of 8-bit grey pictures (".bmp").
//
//   bytes 0-13      file header: "BM", file size (32-bit), two reserved 16-bit zeros,
//                   offset of the pixel rows (32-bit) = 1078
//   bytes 14-53     information header: its size 40, width, height (positive: rows bottom
//                   up), 1 plane, 8 bits a pixel, no compression, bytes of the rows, 0 and 0
//                   pixels a metre (not stated), 256 colours used, all of them important
//   bytes 54-1077   palette: 256 entries blue, green, red, 0 with entry g = (g, g, g)
//   bytes 1078-     rows from the bottom one up, each padded with zeros to 4 bytes
// Every number little-endian.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace qtx {

// The file of a picture of columns x rows grey levels given top row first; where the
// levels run out (none at all: a picture not yet painted) the picture is black.
std::vector<std::uint8_t> encodeGreyBitmap(std::span<const std::uint8_t> greys,
                                           std::int32_t columns, std::int32_t rows);

}  // namespace qtx

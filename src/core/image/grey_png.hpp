// PNG files of 8-bit grey pictures, compressed by libpng: signature, IHDR (width, height, bit
// depth 8, colour type 0 (grey), no interlace), the zlib stream of the rows in IDAT chunks,
// and IEND; no other chunk.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace qtx {

// The file of a picture of columns x rows grey levels given top row first (both at least 1);
// where the levels run out the picture is black. Throws std::runtime_error when libpng
// refuses (it only runs out of memory).
std::vector<std::uint8_t> encodeGreyPng(std::span<const std::uint8_t> greys, std::int32_t columns,
                                        std::int32_t rows);

}  // namespace qtx

// PNG files of 8-bit grey pictures, stored without compression: small, exact and needing
// nothing beyond the standard library.
//
//   bytes 0-7   signature 89 50 4E 47 0D 0A 1A 0A
//   chunks      length of the data (32-bit), type (4 letters), data, CRC-32 of type and data
//     IHDR      width, height (32-bit), bit depth 8, colour type 0 (grey), compression 0,
//               filter method 0, no interlace
//     IDAT      zlib stream 78 01, stored deflate blocks of at most 65535 bytes (a block:
//               final flag 01 or 00, its length and the length's complement, 16-bit
//               little-endian, then the bytes), then the Adler-32 of the bytes; the bytes are
//               the rows top first, each led by its filter type 0 (none)
//     IEND      no data
// Numbers are big-endian unless said otherwise.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace qtx {

// The file of a picture of columns x rows grey levels given top row first (both at least 1);
// where the levels run out the picture is black.
std::vector<std::uint8_t> encodeGreyPng(std::span<const std::uint8_t> greys, std::int32_t columns,
                                        std::int32_t rows);

}  // namespace qtx

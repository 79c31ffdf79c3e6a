// The image header block, the payload of a MSG_HEADER frame: 16-bit little-endian words at
// these payload byte positions (bytes after 37 are not used).
//
//   0-1   flags                 20-21  aperture diameter x 10
//   2-3   height (0: no image)  22-23  date  mmmm ddddd yyyyyyy (year - 1999)
//   4-5   width                 24-25  time  hhhh mmmmmm ssssss
//   6-7   first sensor row      26-27  temperature x 100, two's complement
//   8-9   first sensor column   28-29  site number
//   10-11 exposure word         30-31  electrons per ADU x 100
//   12-13 number of exposures   32-33  background
//   14-17 unused                34-35  range
//   18-19 focal length x 100    36-37  pedestal
//
// Flag bits: 1 set = inches, 2 set = area factor 0.98, 4-5 pixel size code, 10 afternoon
// hour, 11 lunar filter, 12 history "g", 13 mosaic of 40, 14 mosaic of 6.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "image/state.hpp"

namespace qtx {

// The flag bits that set the optics rather than the image.
struct OpticsFlags {
    bool unitscm = false;       // bit 1 clear
    bool apertureflag = false;  // bit 2 clear
};

// Decodes the block into `facts`, reading only the bytes it holds: a word not wholly inside
// reads as 0. The flag word, what its bits select and the height are always written, the
// other fields only when the height is not 0. A field the block leaves open keeps its value:
// the pixel size and binning when the flags name no size, the range when its word is 0.
OpticsFlags decodeHeaderBlock(std::span<const std::uint8_t> block, ImageFacts& facts);

// The text of the information panel for the facts, lines joined by CR LF.
std::string headerPanelText(const ImageFacts& facts, bool unitscm);

}  // namespace qtx

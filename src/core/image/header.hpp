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
#include <optional>
#include <span>
#include <string>

#include "image/state.hpp"

namespace qtx {

struct HeaderBlock {
    // Always decoded: the flag word, what its bits select, and the height.
    std::uint16_t hdrflags = 0;
    bool unitscm = false;
    bool apertureflag = false;
    std::optional<float> pixelsize;  // absent: the flags name no size, the old one stays
    std::optional<std::int16_t> binning;
    std::string filtername;
    std::string history;
    std::int16_t mosaicsnapshots = 0;
    std::int16_t hdrheight = 0;

    // Decoded only when hdrheight is not 0.
    std::int16_t hdrwidth = 0;
    std::int16_t hdrfirstrow = 0;
    std::int16_t hdrfirstcolumn = 0;
    double exposuretime = 0.0;
    std::int32_t exposure100 = 0;
    std::int16_t numexposures = 0;
    float focallength = 0.0F;
    float aperturediameter = 0.0F;
    float aperturearea = 0.0F;
    std::string imagedate;
    std::int16_t imageyear = 0;
    std::string imagetime;
    float temperature = 0.0F;
    std::int16_t sitenumber = 0;
    std::int32_t egain100 = 0;
    std::int32_t background = 0;
    std::optional<std::int32_t> range;  // absent for a range word of 0: the old range stays
    std::int32_t pedestal = 0;
};

// Decodes the block, reading only the bytes it holds: a word not wholly inside reads as 0.
HeaderBlock decodeHeaderBlock(std::span<const std::uint8_t> block);

// The text of the information panel for the record's header values, lines joined by CR LF.
std::string headerPanelText(const ImageRecord& record, bool unitscm);

}  // namespace qtx

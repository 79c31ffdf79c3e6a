// FITS files of 16-bit images (BITPIX 16 with BZERO 32768: unsigned values 0..65535), one
// primary array of width x height, built by CFITSIO in memory. The console's own writer then
// creates the file exclusively and removes it again when the write fails.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "files/fits_keywords.hpp"
#include "files/kelm.hpp"
#include "image/state.hpp"

namespace qtx {

struct FitsBytes {
    std::vector<std::uint8_t> bytes;  // the whole file; empty on a failure
    std::string failure;              // why it could not be made, in CFITSIO's words
};

// `rows` holds width x height pixels, FITS row 1 first; the cards follow the mandatory ones.
FitsBytes encodeFits(std::int32_t width, std::int32_t height, std::span<const std::uint16_t> rows,
                     std::span<const FitsCard> cards);

// The whole FITS file of an image as the export writes it: the rows the array holds, bottom
// row first, and the cards of fitsCards. For the file on disk and for a driver that hands the
// bytes on without a file.
FitsBytes imageFits(const ImageRecord& record, const KelmHeader* file, bool unitscm,
                    std::string_view software);

}  // namespace qtx

// What a FITS export says about the image: its header cards and its rows in the order of the
// data unit. Pure; the CFITSIO writer (fits_file.hpp) only lays them out.
//
//   card      NAME    = value / comment      value as it stands in the card: numbers in
//                                            decimal ("2.500", "16"), texts quoted ('QTX')
//   COMMENT   text                           the note; long ones run over several cards
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/kelm.hpp"
#include "image/state.hpp"

namespace qtx {

struct FitsCard {
    std::string name;
    std::string value;    // empty for COMMENT
    std::string comment;  // for COMMENT: the text
    friend bool operator==(const FitsCard&, const FitsCard&) = default;
};

// The console's lengths (centimetres when `unitscm`, else inches) and pixel size (mm) in the
// units FITS headers use.
double millimetres(float length, bool unitscm);
double squareMillimetres(float area, bool unitscm);
double micrometres(float lengthMm);

// "2001-03-07T21:05:07" from the image's "03/07/2001" and "21:05:07" (an hour 0 has no digit:
// ":15:00"); the date alone when the time is no time of day; nothing when the date is no date.
std::optional<std::string> isoDateTime(std::string_view date, std::string_view time);

// The cards of the current image. `file` is the header of the .QTX file it was loaded from
// (null for an image received from the QTX): what the file's lines hold, the lines the load
// does not apply among them, decides which cards there are. `software` names the program.
std::vector<FitsCard> fitsCards(const ImageRecord& record, const KelmHeader* file, bool unitscm,
                                std::string_view software);

// The width x height first pixels of the array, the bottom row first: viewers show the first
// row of a FITS image at the bottom, so the picture stands as it does on the screen.
std::vector<std::uint16_t> rowsBottomUp(const PixelArray& pixels, int width, int height);

}  // namespace qtx

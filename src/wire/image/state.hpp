// The one current image, its header facts and the flat-field frame beside it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qtx {

// Unsigned 16-bit pixels indexed (column, row), both from 1, a row contiguous. The size is
// the size of the array that exists now, which during a reception may differ from the
// image size the record announces; every reader checks `holds` first.
struct PixelArray {
    std::int16_t width = 0;
    std::int16_t height = 0;
    std::vector<std::uint16_t> cells;

    void resize(std::int16_t columns, std::int16_t rows) {
        width = columns > 0 ? columns : 0;
        height = rows > 0 ? rows : 0;
        cells.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
    }
    bool holds(int column, int row) const {
        return column >= 1 && row >= 1 && column <= width && row <= height;
    }
    std::uint16_t& at(int column, int row) {
        return cells[static_cast<std::size_t>(row - 1) * static_cast<std::size_t>(width) +
                     static_cast<std::size_t>(column - 1)];
    }
    std::uint16_t at(int column, int row) const {
        return cells[static_cast<std::size_t>(row - 1) * static_cast<std::size_t>(width) +
                     static_cast<std::size_t>(column - 1)];
    }
};

// What the picture `Picdata` shows: one grey level a pixel of its surface, top row first.
struct Picture {
    std::int32_t columns = 320;
    std::int32_t rows = 200;
    std::vector<std::uint8_t> greys;  // columns x rows; empty (black) before the first picture
};

// What the header of an image tells about it, field for field the words of the QTX's
// header block (image/header.hpp) and what the flags select.
struct ImageFacts {
    std::uint16_t hdrflags = 0;
    std::int16_t hdrheight = 0;
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
    std::int32_t range = 0;
    std::int32_t pedestal = 0;
    float pixelsize = 0.0F;
    std::int16_t binning = 0;
    std::string filtername;
    std::string history;
    std::int16_t mosaicsnapshots = 0;
};

// The one current image: its facts (the background and range among them are also the levels
// it is shown with), its pixels and how it is shown.
struct ImageRecord : ImageFacts {
    PixelArray imagedata;
    std::int16_t imagewidth = 0;  // 0: no image yet
    std::int16_t imageheight = 0;
    std::string imagenote;
    std::int16_t xoffset = 0;
    std::int16_t yoffset = 0;
    bool imageshown = false;
    Picture picture;  // the grey levels last painted, for the bitmap export
};

struct FlatField {
    PixelArray flatdata;
    std::int16_t flatwidth = 0;
    std::int16_t flatheight = 0;
    bool showflat = false;
};

// A flat-field frame as its file gives it, before anything is changed by it.
struct FlatFile {
    std::string path;
    FlatField frame;  // its pixels and size
    std::optional<std::int32_t> background, range;
    std::string info;  // its header lines, for the panel
};

}  // namespace qtx

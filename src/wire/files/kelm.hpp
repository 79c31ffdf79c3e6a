// The ".QTX" image file (KELM format).
//
//   bytes 0-2047   header text: lines "key = value", each followed by LF CR (0x0A 0x0D, in
//                  that order), the last line "End", then one 0x1A, then blanks to 2047
//   bytes 2048-    pixel block
//
// Pixel block of the compressed form ("QTX Compressed Image"), one record a row, row 1
// first:
//   bytes 0-1      n, 16-bit signed little-endian: the bytes that follow
//   n = 2W         plain row: W pixels, 16-bit little-endian, column 1 first
//   any other n    packed row: column 1 as 16-bit little-endian, then one token a column:
//                    d != 0x80   pixel = previous + d as a signed byte (-127..127)
//                    0x80 lo hi  pixel = hi * 256 + lo
// Uncompressed form ("QTX Image"): W x H little-endian pixels, no row records.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "image/state.hpp"

namespace qtx {

inline constexpr std::size_t kKelmHeaderBytes = 2048;

// The 33 header lines of the compressed form for the record, without their line ends; focal
// length and aperture area go to the file in inches whatever unit the console holds them in.
std::vector<std::string> headerLines(const ImageRecord& record, bool unitscm);

// The 2048 header bytes of the compressed form for the record (a note too long for the
// block is shortened, so that "End" always stays inside it).
std::vector<std::uint8_t> composeHeader(const ImageRecord& record, bool unitscm);

struct KelmHeader;

// The 2048 header bytes for an image loaded from `file`: the file's own lines, byte for byte,
// except the values the user has changed since (note, focal length, aperture, background,
// range, height, width: those whose line in headerLines differs from `asLoaded`, the lines
// of the record right after the load). A changed value the file had no line for goes in
// before its End; the first line names the packed form.
std::vector<std::uint8_t> rewriteHeader(const KelmHeader& file,
                                        const std::vector<std::string>& asLoaded,
                                        const ImageRecord& record, bool unitscm);

// Appends the record of one row (its count n, then n bytes) to `out`.
void packRow(std::span<const std::uint16_t> row, std::vector<std::uint8_t>& out);

// Unpacks the n bytes of a row record into out.size() pixels. False when the bytes end
// before the last token or the running value leaves -32768..98303.
bool unpackRow(std::span<const std::uint8_t> bytes, std::span<std::uint16_t> out);

// What the header lines of a file set; a key that does not occur is absent.
struct KelmHeader {
    std::optional<std::int32_t> background;
    std::optional<std::int32_t> range;
    std::optional<std::int16_t> imageheight;
    std::optional<std::int16_t> imagewidth;
    std::optional<std::string> imagedate;
    std::optional<std::string> imagetime;
    std::optional<std::string> imagenote;
    std::optional<std::int32_t> exposure100;
    std::optional<std::int16_t> numexposures;
    std::optional<std::int32_t> pedestal;
    std::optional<float> focallength;   // inches
    std::optional<float> aperturearea;  // square inches
    std::optional<float> temperature;
    // Lines the load shows but does not apply; the FITS export takes them.
    std::optional<float> egain;       // electrons per ADU
    std::optional<float> xpixelsize;  // mm
    std::optional<float> ypixelsize;  // mm
    std::optional<std::string> filtername;
    std::optional<std::string> observer;      // "Site 3" as the console writes it, or a name
    std::optional<std::int16_t> readoutmode;  // binning code 0, 1 or 2

    std::vector<std::string> lines;  // every line up to "End" as read, without its CR
    std::string info;                // the lines shown, each followed by CR LF
    bool compressed = false;         // a line names "Compressed Image"
    std::string failure;             // why the header cannot be used; empty when it can
};

// Reads the header lines from the start of the file up to the "End" line. On a failure the
// fields parsed before it are set and `failure` says what went wrong.
KelmHeader parseHeader(std::span<const std::uint8_t> file);

// Reads the pixel block from byte 2048 into `pixels` (already sized). Empty when it is
// whole; otherwise why not.
std::string readPixelBlock(std::span<const std::uint8_t> file, bool compressed, PixelArray& pixels);

// Text lines as the files are read: each ends at a CR, and an LF right after that CR
// belongs to the line end. A last line without CR counts too.
class TextLines {
  public:
    explicit TextLines(std::string_view text) : text(text) {}
    std::optional<std::string_view> next();

  private:
    std::string_view text;
    std::size_t pos = 0;
};

}  // namespace qtx

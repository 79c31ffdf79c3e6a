#include "files/tracklist.hpp"

#include "files/kelm.hpp"
#include "text/crlf.hpp"
#include "text/numtext.hpp"

namespace qtx {

namespace {

constexpr std::size_t kHeadingLines = 8;
constexpr std::size_t kTrackPairsHeld = 160;  // pairs the 320 words of a track row hold

std::int32_t signed16(std::int32_t word) { return word > 32767 ? word - 65536 : word; }

std::optional<std::int16_t> offset(std::string_view text) {
    const double rounded = roundHalfEven(readNumber(text));
    if (!(rounded >= -32768 && rounded <= 32767)) return std::nullopt;
    return static_cast<std::int16_t>(rounded);
}

}  // namespace

std::string trackListText(const ImageFacts& r, const std::array<std::int32_t, 320>& tracklist) {
    std::string text = "QTX Track List" + crlf + "Version = 1" + crlf;
    text += "Snapshots = " + signedText(r.numexposures) + crlf;
    text += "Snapshot_time = " + formatPattern(r.exposuretime, "###.##") + crlf;
    text += "Temperature = " + formatPattern(r.temperature, "###.##") + crlf;
    text += "Height = " + signedText(r.hdrheight) + crlf;
    text += "Width = " + signedText(r.hdrwidth) + crlf;
    text += "Offset = " + signedText(r.pedestal) + crlf;
    // The track row holds 160 pairs; a count beyond them writes the pairs there are, and
    // the file then says by its count that it does not match.
    const std::size_t pairs =
        std::min<std::size_t>(r.numexposures > 0 ? r.numexposures : 0, kTrackPairsHeld);
    for (std::size_t j = 0; j < pairs; ++j) {
        text += signedText(signed16(tracklist[2 * j])) + ", " +
                signedText(signed16(tracklist[2 * j + 1])) + crlf;
    }
    return text + "End " + crlf;
}

TrackListRead parseTrackList(std::string_view text) {
    TrackListRead read;
    TextLines lines(text);
    for (std::size_t i = 0; i < kHeadingLines; ++i) {
        if (!lines.next()) return read;
    }
    // The end is told by the last line of three characters or more, so a short line among
    // the pairs is taken as a pair and fails for want of its comma.
    std::string_view lastLong;
    for (std::optional<std::string_view> line = lines.next(); line; line = lines.next()) {
        if (line->size() >= 3) lastLong = *line;
        if (lastLong.starts_with("End")) {
            read.ok = true;
            return read;
        }
        const std::size_t comma = line->find(',');
        if (comma == std::string_view::npos || read.pairs.size() == kMaxTrackPairs) return read;
        const auto x = offset(line->substr(0, comma));
        const auto y = offset(line->substr(comma + 1));
        if (!x || !y) return read;
        read.pairs.push_back({*x, *y});
    }
    return read;
}

}  // namespace qtx

// An image arriving from the QTX: its header block into the record and the information panel
// (the decoding itself is the wire's), its rows into the pixel array, and its track offsets.
#include <algorithm>
#include <array>

#include "console.hpp"
#include "image/flat_correction.hpp"
#include "image/header.hpp"
#include "image/image_view.hpp"
#include "link/frame.hpp"
#include "link/rowcodec.hpp"

namespace qtx {

namespace {

constexpr std::int16_t kMaxColumns = 320;  // the record holds at most 320 x 200 pixels
constexpr std::int16_t kMaxRows = 200;

}  // namespace

void ImageView::reset() {
    record = ImageRecord{};
    flat = FlatField{};
    optics = Optics{};
    track = TrackOffsets{};
}

bool ImageView::takeHeader(std::span<const std::uint8_t> block) {
    const OpticsFlags flags = decodeHeaderBlock(block, record);
    optics.unitscm = flags.unitscm;
    optics.apertureflag = flags.apertureflag;
    if (record.hdrheight == 0) return false;
    console.files.forgetLoaded();  // the facts are the QTX's from here on
    record.imagenote = "QTX Image";
    setText(TextBox::headertxt, headerPanelText(record, optics.unitscm));
    // An image announced larger than the record holds keeps its first 320 columns and 200
    // rows; the rest of each row is read (to check it) and dropped.
    record.imagedata.resize(std::min(record.hdrwidth, kMaxColumns),
                            std::min(record.hdrheight, kMaxRows));
    return true;
}

bool ImageView::storeRow(std::uint8_t code, std::span<const std::uint8_t> payload, int rownumber) {
    std::array<std::uint16_t, kMaxColumns> row{};
    PixelArray& pixels = record.imagedata;
    // The array keeps at most 320 columns; a wider row is still read whole to check it.
    const auto kept = std::span<std::uint16_t>(row).first(
        static_cast<std::size_t>(std::min<int>(pixels.width, kMaxColumns)));
    const bool whole = code == MSG_ROW_RAW ? readRawRow(payload, record.hdrwidth, kept)
                                           : decodeCompressedRow(payload, record.hdrwidth, kept);
    if (!whole) return false;
    // A row that falls outside the array (beyond the 200 rows kept) is taken but not stored.
    const int r = rownumber - record.hdrfirstrow + 1;
    if (r >= 1 && r <= pixels.height && !kept.empty()) {
        std::copy(kept.begin(), kept.end(), &pixels.at(1, r));
    }
    return true;
}

void ImageView::completeImage(const std::array<std::int32_t, 320>& tracklist) {
    record.imagewidth = record.imagedata.width;
    record.imageheight = record.imagedata.height;
    // A flat field shifts by this image's own track offsets, never by those of a file loaded
    // before it.
    track = receivedTrackOffsets(tracklist, record.numexposures);
}

}  // namespace qtx

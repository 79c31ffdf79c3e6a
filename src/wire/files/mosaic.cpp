#include "files/mosaic.hpp"

#include "text/crlf.hpp"
#include "text/numtext.hpp"

namespace qtx {

namespace {

constexpr int kBoxSize = 40;
constexpr int kBoxesAcross = 8;
constexpr int kMeasured = 38;  // local positions 1..38; 39 and 40 are not used
constexpr int kRingSamples = 4 * kMeasured;
constexpr float kBoxCentre = 19.5F;
constexpr int kSnapshotsWithoutBoxes = 6;
constexpr int kPairsHeld = 160;

// Snapshot time k in ms: two unsigned words, high first. Unsigned 32 bits, so that a time
// with the top bit set is a time and not a negative number.
std::uint32_t snapshotTime(const std::array<std::int32_t, 320>& tracklist, int k) {
    const auto word = [&](int i) { return static_cast<std::uint32_t>(tracklist[i]) & 0xFFFFU; };
    return word(2 * k - 2) * 65536U + word(2 * k - 1);
}

}  // namespace

MosaicBox measureBox(const PixelArray& pixels, int snapshot, float pixelsize) {
    const int c0 = ((snapshot - 1) % kBoxesAcross) * kBoxSize;
    const int r0 = ((snapshot - 1) / kBoxesAcross) * kBoxSize;
    if (!pixels.holds(c0 + 1, r0 + 1) || !pixels.holds(c0 + kMeasured, r0 + kMeasured)) return {};
    const auto at = [&](int x, int y) -> std::int64_t { return pixels.at(c0 + x, r0 + y); };

    std::int64_t ring = 0;
    for (int k = 1; k <= kMeasured; ++k) {
        ring += at(k, 1) + at(k, kMeasured) + at(1, k) + at(kMeasured, k);
    }
    const std::int64_t background = ring / kRingSamples;
    // The sums stay within 32 bits for 16-bit pixels (at most 1296 x 65535 x 37).
    std::int64_t counts = 0;
    std::int64_t sx = 0;
    std::int64_t sy = 0;
    for (int y = 2; y < kMeasured; ++y) {
        for (int x = 2; x < kMeasured; ++x) {
            const std::int64_t v = at(x, y) - background;
            counts += v;
            sx += x * v;
            sy += y * v;
        }
    }
    MosaicBox box;
    box.counts = static_cast<std::int32_t>(counts);
    if (counts == 0) return box;  // no centroid: shown as 0
    const auto c = static_cast<float>(counts);
    box.xcen = (static_cast<float>(sx) / c - kBoxCentre) * pixelsize;
    box.ycen = (static_cast<float>(sy) / c - kBoxCentre) * pixelsize;
    return box;
}

std::string mosaicDataText(const ImageRecord& r, const std::array<std::int32_t, 320>& tracklist) {
    const char tab = '\t';
    std::string text = "QTX Mosaic Data" + crlf + "Version = 1" + crlf;
    text += "Snapshots = " + signedText(r.mosaicsnapshots) + crlf;
    text += "Snapshot exposure time = " + formatPattern(r.exposuretime, "###.##") + crlf;
    text += "Temperature = " + formatPattern(r.temperature, "###.##") + crlf;
    text += "First exposure end time = " + r.imagetime + crlf;
    text += "First exposure end date = " + r.imagedate + crlf;
    text += "Center of exposure times relative to first exposure (in milliseconds)" + crlf;
    text += "Centroid data is in mm relative to center of mosaic box" + crlf;
    text += std::string("Number") + tab + "Time" + tab + "Counts" + tab + "X-Cen" + tab + "Y-Cen" +
            crlf;
    const auto halfExposure = static_cast<std::int64_t>(roundHalfEven(r.exposuretime * 500.0));
    const int snapshots = std::min<int>(r.mosaicsnapshots, kPairsHeld);
    for (int i = 1; i <= snapshots; ++i) {
        const std::int64_t time =
            i == 1 ? 0
                   : static_cast<std::int64_t>(snapshotTime(tracklist, i)) -
                         static_cast<std::int64_t>(snapshotTime(tracklist, 1)) - halfExposure;
        const MosaicBox box = snapshots > kSnapshotsWithoutBoxes
                                  ? measureBox(r.imagedata, i, r.pixelsize)
                                  : MosaicBox{};
        text += signedText(i) + tab + signedText(time) + tab + signedText(box.counts) + tab +
                formatPattern(box.xcen, "##0.000") + tab + formatPattern(box.ycen, "##0.000") +
                crlf;
    }
    return text + "End " + crlf;
}

}  // namespace qtx

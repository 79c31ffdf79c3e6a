// The flat-field arithmetic and the track offsets of a received image, by hand-computed cases;
// the refusals that the Flat Field command reports are in its own suite.
#include "image/flat_correction.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace qtx::test {
namespace {

using Outcome = FlatCorrection::Outcome;

PixelArray filled(int w, int h, const std::function<int(int, int)>& value) {
    PixelArray p;
    p.resize(static_cast<std::int16_t>(w), static_cast<std::int16_t>(h));
    for (int y = 1; y <= h; ++y) {
        for (int x = 1; x <= w; ++x) p.at(x, y) = static_cast<std::uint16_t>(value(x, y));
    }
    return p;
}

PixelArray uniform(int w, int h, int value) {
    return filled(w, h, [value](int, int) { return value; });
}

// The second exposure shifted by (dx, dy).
TrackOffsets offsets(int dx, int dy) {
    TrackOffsets t;
    t.trackcount = 2;
    t.trackx[2] = static_cast<std::int16_t>(dx), t.tracky[2] = static_cast<std::int16_t>(dy);
    return t;
}

// One exposure, a 12 x 12 flat of 1100 (mean 1000) but for pixel (12, 12), outside the
// centre box, where the flat and the image pixel vary.
TEST(FlatCorrection, OneExposurePixelByPixel) {
    const struct {
        int flat, image, pedestal, result;
    } cases[] = {
        {1100, 600, 100, 700},  // (600 + 100 - 100) x 1000 / 1000 + 100
        {2100, 5, 100, 102},    // 2.5 + 100: a half goes to the even neighbour
        {2100, 7, 100, 104},    // 3.5 + 100
        {100, 5000, 100, 100},  // no light in the flat: 100
        {50, 5000, 100, 100},
        {101, 65535, 100, 65534},   // far above the top
        {1100, 65434, 100, 65534},  // exactly the top
        {1100, 0, -200, 1},         // below the bottom
        // Single precision: 31645000 / 951 is 33275.4995 but 33275.5 as a float, which goes
        // to the even 33376 after adding 100; 32072000 / 951 likewise becomes 33724.5.
        {1051, 31645, 100, 33376},
        {1051, 32072, 100, 33824},
    };
    for (const auto& c : cases) {
        PixelArray flat = uniform(12, 12, 1100);
        flat.at(12, 12) = static_cast<std::uint16_t>(c.flat);
        PixelArray image = filled(12, 12, [](int x, int y) { return 10 * y + x; });
        image.at(12, 12) = static_cast<std::uint16_t>(c.image);
        const FlatCorrection out = correctFlatField(image, 12, 12, c.pedestal, flat, {});
        ASSERT_EQ(out.outcome, Outcome::Corrected);
        EXPECT_EQ(out.mean, 1000);
        EXPECT_EQ(out.pixels.at(12, 12), c.result) << c.flat << " " << c.image << " " << c.pedestal;
        EXPECT_EQ(out.pixels.at(1, 1), std::max(1, 11 + c.pedestal));
    }
}

TEST(FlatCorrection, TwoExposuresWithAGradedFlat) {
    // 12 x 12, flat 100 + x, second exposure shifted by (1, 1). The shifted and summed flat
    // is x in row 1 and column 1, and x + (x - 1) = 2x - 1 elsewhere. The centre box (columns
    // and rows 1..11) adds up to 66 + 10 x 121 = 1276, a mean of 10. The image is 1000 with
    // a last row of 2000, the pedestal 100: result (1000 x 10) / (2x - 1) + 100.
    const PixelArray flat = filled(12, 12, [](int x, int) { return 100 + x; });
    const PixelArray image = filled(12, 12, [](int, int y) { return y == 12 ? 2000 : 1000; });
    const FlatCorrection out = correctFlatField(image, 12, 12, 100, flat, offsets(1, 1));
    EXPECT_EQ(out.mean, 10);
    ASSERT_EQ(out.pixels.cells.size(), 11U * 11);
    const std::vector<int> row{3433, 2100, 1529, 1211, 1009, 869, 767, 688, 626, 576, 535};
    const std::vector<int> last{6767, 4100, 2957, 2322, 1918, 1638, 1433, 1276, 1153, 1052, 970};
    for (int y = 1; y <= 11; ++y) {
        const auto from = out.pixels.cells.begin() + (y - 1) * 11;
        const std::vector<int> got(from, from + 11);
        EXPECT_EQ(got, y == 11 ? last : row) << y;
    }
}

TEST(FlatCorrection, RefusalsAndTheNarrowestCommonPart) {
    const struct {
        int w, h;
        TrackOffsets track;
        Outcome outcome;
    } cases[] = {
        {12, 11, {}, Outcome::TooSmall},
        {12, 12, offsets(12, 0), Outcome::NoCommonRegion},
        {12, 12, offsets(0, -12), Outcome::NoCommonRegion},
        {12, 12, offsets(11, -11), Outcome::Corrected},  // one pixel in both
    };
    for (const auto& c : cases) {
        const FlatCorrection out = correctFlatField(uniform(c.w, c.h, 500), c.w, c.h, 100,
                                                    uniform(c.w, c.h, 1100), c.track);
        EXPECT_EQ(out.outcome, c.outcome) << c.h << " " << c.track.trackx[2];
        EXPECT_EQ(out.pixels.cells.size(), c.outcome == Outcome::Corrected ? 1U : 0U);
    }
    // A flat smaller than the image it is to correct.
    EXPECT_EQ(correctFlatField(uniform(12, 12, 500), 12, 12, 0, uniform(12, 11, 1100), {}).outcome,
              Outcome::Incomplete);
}

TEST(ReceivedTrackOffsets, PairsFromTheTrackRow) {
    std::array<std::int32_t, 320> row{5, 65533, 0, 12, 1, 65535, 32767, 32768};
    for (std::size_t k = 8; k < 320; ++k) row[k] = static_cast<std::int32_t>(k);

    const TrackOffsets four = receivedTrackOffsets(row, 4);
    EXPECT_EQ(std::vector<int>(four.trackx.begin() + 1, four.trackx.begin() + 6),
              (std::vector<int>{5, 0, 1, 32767, 0}));
    EXPECT_EQ(std::vector<int>(four.tracky.begin() + 1, four.tracky.begin() + 5),
              (std::vector<int>{-3, 12, -1, -32768}));
    for (const auto& [numexposures, count] :
         {std::pair<std::int16_t, int>{1, 1}, {-3, 1}, {4, 4}, {64, 64}, {32767, 64}}) {
        const TrackOffsets t = receivedTrackOffsets(row, numexposures);
        EXPECT_EQ(t.trackcount, count) << numexposures;
        EXPECT_EQ(t.trackx[64] + t.tracky[64], count == 64 ? 126 + 127 : 0) << numexposures;
    }
}

}  // namespace
}  // namespace qtx::test

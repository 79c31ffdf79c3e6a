#include <gtest/gtest.h>

#include <string>

#include "files/mosaic.hpp"
#include "files/tracklist.hpp"

namespace qtx {
namespace {

using Track = std::array<std::int32_t, 320>;

const std::string kHeading =
    "QTX Track List\r\nVersion = 1\r\nSnapshots =  3\r\nSnapshot_time = .5\r\n"
    "Temperature = -12.5\r\nHeight =  200\r\nWidth =  320\r\nOffset =  100\r\n";

TEST(TrackList, WrittenWithSignedTexts) {
    ImageRecord r;
    r.numexposures = 3, r.exposuretime = 0.5, r.temperature = -12.5F;
    r.hdrheight = 200, r.hdrwidth = 320, r.pedestal = 100;
    const Track words{5, 65533, 32767, 32768, 1, 65535, 77};
    EXPECT_EQ(trackListText(r, words), kHeading + " 5, -3\r\n 32767, -32768\r\n 1, -1\r\nEnd \r\n");
    // More exposures than the track row holds: only the pairs that exist.
    r.numexposures = 200;
    const std::string many = trackListText(r, words);
    EXPECT_EQ(std::count(many.begin(), many.end(), ','), 160);
}

TEST(TrackList, ReadsPairsUpToEnd) {
    // Lenient numbers, halves to even; a blank line, a pair without its comma, a value past 16
    // bits or no End line stops the list.
    const struct {
        std::string pairs;
        bool ok;
        std::vector<TrackPair> read;
    } cases[] = {{" 5, -3\r\n 0,  12\r\nEnd \r\n", true, {{5, -3}, {0, 12}}},
                 {"End \r\n", true, {}},
                 {"2.5x, 3.5\r\nabc, -7\r\nEnd\r\n", true, {{2, 4}, {0, -7}}},
                 {" 5, -3\r\n\r\n 1, -1\r\nEnd \r\n", false, {{5, -3}}},
                 {" 5 -3\r\nEnd \r\n", false, {}},
                 {" 32768, 0\r\nEnd \r\n", false, {}},
                 {" 5, -3\r\n", false, {{5, -3}}},
                 {" 5, -3\r\nEn\r\n", false, {{5, -3}}}};
    for (const auto& c : cases) {
        const TrackListRead read = parseTrackList(kHeading + c.pairs);
        EXPECT_EQ(read.ok, c.ok) << c.pairs;
        EXPECT_EQ(read.pairs, c.read) << c.pairs;
    }
    EXPECT_FALSE(parseTrackList("QTX Track List\r\nVersion = 1\r\n").ok);
}

TEST(TrackList, SixtyFourPairsRoundTripAndNoMore) {
    ImageRecord r;
    Track words{};
    for (std::size_t k = 0; k < 130; ++k) words[k] = static_cast<std::int32_t>((k * 7919) % 65536);
    for (std::int16_t n : {64, 65}) {
        r.numexposures = n;
        const TrackListRead read = parseTrackList(trackListText(r, words));
        EXPECT_EQ(read.ok, n == 64);
        ASSERT_EQ(read.pairs.size(), 64U);
        EXPECT_EQ(read.pairs[61], (TrackPair{48614 - 65536, 56533 - 65536}));  // words 122, 123
    }
}

TEST(Mosaic, BoxMeasuredAgainstItsOwnBackground) {
    // 40 snapshots of 320 x 200 with an even background of 100.
    ImageRecord r;
    r.mosaicsnapshots = 40, r.pixelsize = 0.0074F, r.exposuretime = 0.5;
    r.imagedata.resize(320, 200);
    std::fill(r.imagedata.cells.begin(), r.imagedata.cells.end(), 100);
    // Box 10 sits in box column 1, box row 1: it starts after image column 40 and row 40.
    r.imagedata.at(40 + 20, 40 + 19) = 1100;
    const std::string text = mosaicDataText(r, Track{});
    EXPECT_NE(text.find("\r\n 9\t-250\t 0\t0.000\t0.000\r\n 10\t-250\t 1000\t0.004\t-0.004\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("\r\n 40\t-250\t 0\t0.000\t0.000\r\nEnd \r\n"), std::string::npos);
    const MosaicBox box = measureBox(r.imagedata, 10, r.pixelsize);
    EXPECT_EQ(std::tuple(box.counts, box.xcen, box.ycen), std::tuple(1000, 0.0037F, -0.0037F));

    // The ring sets the background: 152 samples, the fraction dropped.
    r.imagedata.at(5, 1) = 100 + 151;  // ring sum + 151: background still 100
    r.imagedata.at(20, 20) = 40100;
    EXPECT_EQ(measureBox(r.imagedata, 1, r.pixelsize).counts, 40000);
    r.imagedata.at(6, 1) = 100 + 1;  // + 152 in all: background 101
    EXPECT_EQ(measureBox(r.imagedata, 1, r.pixelsize).counts, 40000 - 1296);
    r.imagedata.at(2, 2) = 0;  // a pixel of 0 counts as 0, below the background
    EXPECT_EQ(measureBox(r.imagedata, 1, r.pixelsize).counts, 40000 - 1296 - 100);

    // A box reaching outside a smaller image is not measured.
    r.imagedata.resize(100, 100);
    EXPECT_EQ(measureBox(r.imagedata, 3, 1.0F).counts, 0);
    EXPECT_EQ(measureBox(r.imagedata, 18, 1.0F).counts, 0);
}

TEST(Mosaic, TableOfSixSnapshots) {
    ImageRecord r;
    r.mosaicsnapshots = 6, r.exposuretime = 0.5, r.temperature = -3.0F;
    r.imagetime = "1:02:03", r.imagedate = "12/24/2025";
    Track words{};
    words[1] = 1000;    // T(1) = 1000 ms
    words[3] = 3000;    // T(2) = 3000 ms
    words[4] = 0x8000;  // T(3) = 2^31 + 5000 ms: above the signed range
    words[5] = 5000;
    const std::string expected =
        "QTX Mosaic Data\r\nVersion = 1\r\nSnapshots =  6\r\nSnapshot exposure time = .5\r\n"
        "Temperature = -3.\r\nFirst exposure end time = 1:02:03\r\n"
        "First exposure end date = 12/24/2025\r\n"
        "Center of exposure times relative to first exposure (in milliseconds)\r\n"
        "Centroid data is in mm relative to center of mosaic box\r\n"
        "Number\tTime\tCounts\tX-Cen\tY-Cen\r\n"
        " 1\t 0\t 0\t0.000\t0.000\r\n"
        " 2\t 1750\t 0\t0.000\t0.000\r\n"
        " 3\t 2147487398\t 0\t0.000\t0.000\r\n"
        " 4\t-1250\t 0\t0.000\t0.000\r\n"
        " 5\t-1250\t 0\t0.000\t0.000\r\n"
        " 6\t-1250\t 0\t0.000\t0.000\r\n"
        "End \r\n";
    EXPECT_EQ(mosaicDataText(r, words), expected);
}

}  // namespace
}  // namespace qtx

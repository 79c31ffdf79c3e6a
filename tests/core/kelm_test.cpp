#include "files/kelm.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qtx {
namespace {

using Bytes = std::vector<std::uint8_t>;

ImageRecord sampleRecord() {
    ImageRecord r;
    r.exposure100 = 250, r.focallength = 12.5F, r.aperturearea = 3.14159F, r.imagenote = "M31";
    r.background = 884, r.range = 2000, r.imageheight = 2, r.imagewidth = 3;
    r.imagedate = "06/15/2026", r.imagetime = "9:05:07", r.temperature = -5.25F, r.numexposures = 1;
    r.history = "-", r.sitenumber = 3, r.pixelsize = 0.0074F, r.pedestal = 100, r.egain100 = 234;
    r.imageyear = 2026, r.filtername = "None", r.binning = 0;
    return r;
}

std::string headerText(const Bytes& header) { return {header.begin(), header.end()}; }

Bytes packed(const std::vector<std::uint16_t>& row) {
    Bytes out;
    packRow(row, out);
    return out;
}

TEST(KelmHeader, ComposedLineByLine) {
    const std::string expected =
        "QTX Compressed Image\n\rFile_version = 3\n\rData_version = 1\n\rExposure =  250\n\r"
        "Focal_length = 12.50\n\rAperture = 3.142\n\rResponse_factor = 2000.000\n\r"
        "Note = M31\n\rBackground =  884\n\rRange =  2000\n\rHeight =  2\n\rWidth =  3\n\r"
        "Date = 06/15/2026\n\rTime = 9:05:07\n\rExposure_state = 356\n\r"
        "Temperature = -5.25\n\rNumber_exposures =  1\n\rEach_exposure =  250\n\r"
        "History = -\n\rObserver = Site 3\n\rX_pixel_size = 0.0074\n\r"
        "Y_pixel_size = 0.0074\n\rPedestal =  100\n\rE_gain = 2.3\n\r"
        "User_1 = QTX Server Ver 1.0\n\rUser_2 = -\n\rUser_3 = -\n\r"
        "User_4 = Y2KYear =  2026\n\rFilter = None\n\rReadout_mode =  0\n\r"
        "Track_time = 0\n\rSat_level = 32767\n\rEnd\n\r\x1A";
    const std::string header = headerText(composeHeader(sampleRecord(), false));
    ASSERT_EQ(header.size(), 2048U);
    EXPECT_EQ(header.substr(0, expected.size()), expected);
    EXPECT_EQ(header.find_first_not_of(' ', expected.size()), std::string::npos);
    // Centimetres go to the file in inches: 31.75 cm is 12.5 inches, 20.2683 cm^2 3.1416 in^2.
    ImageRecord cm = sampleRecord();
    cm.focallength = 31.75F;
    cm.aperturearea = 20.2683F;
    EXPECT_EQ(headerText(composeHeader(cm, true)), header);
}

TEST(KelmHeader, NoteNeverBreaksTheHeader) {
    const struct {
        std::string note;
        std::string line;  // what the Note line must start with
    } cases[] = {
        {"two\r\nlines", "Note = two  lines\n\r"},
        {"Compressed Image?", "Note = Compressed Image?\n\r"},
        {std::string(3000, 'x'), "Note = xxxx"},
    };
    for (const auto& c : cases) {
        ImageRecord r = sampleRecord();
        r.imagenote = c.note;
        const Bytes bytes = composeHeader(r, false);
        const std::string header = headerText(bytes);
        ASSERT_EQ(header.size(), 2048U);
        EXPECT_NE(header.find(c.line), std::string::npos) << c.line;
        // The note is shortened rather than the end lost: the file still reads back.
        EXPECT_NE(header.find("Sat_level = 32767\n\rEnd\n\r\x1A"), std::string::npos);
        const KelmHeader parsed = parseHeader(bytes);
        EXPECT_TRUE(parsed.failure.empty()) << parsed.failure;
        EXPECT_EQ(parsed.imagewidth, 3);
    }
}

TEST(KelmRow, TokensEscapesAndThePlainRule) {
    const struct {
        const char* what;
        std::vector<std::uint16_t> row;
        Bytes record;
    } cases[] = {
        {"+127 -127 -128 +128 0 +1",
         {1000, 1127, 1000, 872, 1000, 1000, 1001},
         {0x0C, 0x00, 0xE8, 0x03, 0x7F, 0x81, 0x80, 0x68, 0x03, 0x80, 0xE8, 0x03, 0x00, 0x01}},
        {"three escapes in 7 columns would take 2W: plain",
         {0, 1000, 2000, 3000, 3000, 3000, 3000},
         {0x0E, 0x00, 0x00, 0x00, 0xE8, 0x03, 0xD0, 0x07, 0xB8, 0x0B, 0xB8, 0x0B, 0xB8, 0x0B, 0xB8,
          0x0B}},
        {"one column is always plain", {0xBEEF}, {0x02, 0x00, 0xEF, 0xBE}},
        {"high values", {65535, 32768, 32769}, {0x06, 0x00, 0xFF, 0xFF, 0x00, 0x80, 0x01, 0x80}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(packed(c.row), c.record) << c.what;
        std::vector<std::uint16_t> back(c.row.size());
        EXPECT_TRUE(unpackRow(std::span(c.record).subspan(2), back)) << c.what;
        EXPECT_EQ(back, c.row) << c.what;
    }
}

TEST(KelmRow, FullRowWithoutStepsIs321Bytes) {
    std::vector<std::uint16_t> row(320);
    for (std::size_t c = 0; c < row.size(); ++c) row[c] = static_cast<std::uint16_t>(500 + c % 50);
    const Bytes record = packed(row);
    ASSERT_EQ(record.size(), 323U);
    EXPECT_EQ(record[0], 0x41);  // 321
    EXPECT_EQ(record[1], 0x01);
}

TEST(KelmRow, UnpackingIsBoundedByItsBytes) {
    std::vector<std::uint16_t> three(3);
    const Bytes wrap{0x00, 0x00, 0xFF, 0x7F};  // 0, then -1 (65535), then +127 (126)
    EXPECT_TRUE(unpackRow(wrap, three));
    EXPECT_EQ(three, (std::vector<std::uint16_t>{0, 65535, 126}));
    const Bytes trailing{0x05, 0x00, 0x01, 0x01, 0xAA};  // bytes after the last token
    EXPECT_TRUE(unpackRow(trailing, three));
    EXPECT_EQ(three, (std::vector<std::uint16_t>{5, 6, 7}));

    const Bytes damaged[] = {
        {},                              // nothing
        {0x05},                          // half a first value
        {0x05, 0x00, 0x01},              // a token short
        {0x05, 0x00, 0x80, 0x01, 0x00},  // no token left for the last column
        {0x05, 0x00, 0x01, 0x80, 0x01},  // the last escape cut short
    };
    for (const Bytes& d : damaged) EXPECT_FALSE(unpackRow(d, three)) << d.size();

    // Running values may stray below 0 and above 65535, but not past -32768 or 98303.
    std::vector<std::uint16_t> wide(300);
    Bytes down{0x00, 0x00};
    down.insert(down.end(), 299, 0x81);  // -127 each: -32766 at column 259, then -32893
    EXPECT_FALSE(unpackRow(down, wide));
    Bytes up{0xFF, 0xFF};
    up.insert(up.end(), 299, 0x7F);  // 65535 + 259 x 127 = 98428 at column 260
    EXPECT_FALSE(unpackRow(up, wide));
    std::vector<std::uint16_t> fits(259);
    EXPECT_TRUE(unpackRow(std::span(down).first(2 + 258), fits));
    EXPECT_EQ(fits.back(), 65536 - 32766);
}

Bytes fileOf(const std::string& header) { return {header.begin(), header.end()}; }

TEST(KelmParse, WrittenHeaderReadsBack) {
    ImageRecord r = sampleRecord();
    r.background = 65472;  // as Auto Contrast may set it
    r.range = 40000;
    r.pedestal = 65535;
    const KelmHeader h = parseHeader(composeHeader(r, false));
    ASSERT_TRUE(h.failure.empty()) << h.failure;
    EXPECT_TRUE(h.compressed);
    EXPECT_EQ(
        std::tuple(h.background.value(), h.range.value(), h.pedestal.value(), h.imageheight.value(),
                   h.imagewidth.value(), h.exposure100.value(), h.numexposures.value()),
        std::tuple(65472, 40000, 65535, 2, 3, 250, 1));
    EXPECT_EQ(h.imagedate.value() + " " + h.imagetime.value() + " " + h.imagenote.value(),
              "06/15/2026 9:05:07 M31");
    EXPECT_FLOAT_EQ(*h.focallength, 12.5F);
    EXPECT_FLOAT_EQ(*h.aperturearea, 3.142F);
    EXPECT_FLOAT_EQ(*h.temperature, -5.25F);
    EXPECT_EQ(h.info.substr(0, 44), "QTX Compressed Image\r\nFile_version = 3\r\nData");
    EXPECT_EQ(h.info.substr(h.info.size() - 24), "Sat_level = 32767\r\nEnd\r\n");
}

TEST(KelmParse, ValuesAndFailures) {
    const struct {
        std::string lines;  // between the first line and End, LF CR after each
        bool fails;
    } cases[] = {
        {"Height = 40000", true},
        {"Width = abc", true},
        {"Exposure = 1e10", true},
        {"Height = 12.5", false},
        {"Background = 40000", false},
        {"Range = -3", false},
        {"E_gain = x", true},
        {"X_pixel_size = ", true},
        {"Y_pixel_size = 32.767", false},
        {"Y_pixel_size = 32.768", true},
        {"Y_pixel_size = -32.768", false},
        {"Y_pixel_size = -32.769", true},
        {"Temperature = 1e39", true},
        {"Note = anything", false},
        {"Unknown_key = abc", false},
        {"Number_exposures = 64 x", true},
    };
    for (const auto& c : cases) {
        const KelmHeader h = parseHeader(fileOf("QTX Image\n\r" + c.lines + "\n\rEnd\n\r"));
        EXPECT_EQ(!h.failure.empty(), c.fails) << c.lines;
    }
    EXPECT_EQ(parseHeader(fileOf("QTX Image\n\rHeight = 12.5\n\rEnd\n\r")).imageheight, 12);
    EXPECT_EQ(parseHeader(fileOf("QTX Image\n\rHeight = 13.5\n\rEnd\n\r")).imageheight, 14);
}

TEST(KelmParse, LineEndsAndTheCompressedMark) {
    // Fields met before a failure keep their values; a missing key stays absent.
    const KelmHeader broken = parseHeader(fileOf("QTX Image\n\rWidth = 7\n\rHeight = x\n\r"));
    EXPECT_FALSE(broken.failure.empty());
    EXPECT_EQ(broken.imagewidth, 7);
    EXPECT_FALSE(broken.background.has_value());

    const KelmHeader plain = parseHeader(fileOf("QTX Image\n\rWidth = 7\n\rEnd\n\r"));
    EXPECT_TRUE(plain.failure.empty());
    EXPECT_FALSE(plain.compressed);
    EXPECT_TRUE(parseHeader(fileOf("QTX Image\n\rNote = Compressed Image\n\rEnd\n\r")).compressed);
    // CR LF instead of LF CR: every line loses its last letter, "End" is never found.
    EXPECT_EQ(parseHeader(fileOf("QTX Image\r\nNote = x\r\nEnd\r\n")).failure,
              "the header has no End line");
    // Short lines are skipped; the last line needs no line end.
    const KelmHeader shortLines = parseHeader(fileOf("QTX Image\n\r\n\rab\n\rEnd\n"));
    EXPECT_TRUE(shortLines.failure.empty());
    EXPECT_EQ(shortLines.info, "QTX Image\r\nEnd\r\n");
}

TEST(KelmPixels, BothFormsAndTheirDamage) {
    const std::string header(2048, ' ');
    PixelArray pixels;
    pixels.resize(2, 2);

    Bytes plain = fileOf(header);
    for (std::uint8_t b : {0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0xFF, 0xFF}) plain.push_back(b);
    EXPECT_EQ(readPixelBlock(plain, false, pixels), "");
    EXPECT_EQ(pixels.cells, (std::vector<std::uint16_t>{1, 2, 3, 65535}));

    Bytes compressed = fileOf(header);
    for (std::uint8_t b : {0x04, 0x00, 0x07, 0x00, 0x08, 0x00, 0x03, 0x00, 0x09, 0x00, 0x01}) {
        compressed.push_back(b);
    }
    EXPECT_EQ(readPixelBlock(compressed, true, pixels), "");
    EXPECT_EQ(pixels.cells, (std::vector<std::uint16_t>{7, 8, 9, 10}));

    const struct {
        Bytes tail;
        bool compressed;
    } damaged[] = {
        {{0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0xFF}, false},  // one byte short
        {{0x00, 0x00}, true},                                 // a count of 0
        {{0xFF, 0xFF, 0x01}, true},                           // a negative count
        {{0x04, 0x00, 0x07, 0x00, 0x08}, true},               // ends inside row 1
        {{0x04, 0x00, 0x07, 0x00, 0x08, 0x00}, true},         // no row 2
        {{0x03, 0x00, 0x07, 0x00, 0x80}, true},               // a token cut short
    };
    for (const auto& d : damaged) {
        Bytes file = fileOf(header);
        file.insert(file.end(), d.tail.begin(), d.tail.end());
        EXPECT_NE(readPixelBlock(file, d.compressed, pixels), "") << d.tail.size();
    }
    EXPECT_NE(readPixelBlock(fileOf("QTX"), true, pixels), "");
}

}  // namespace
}  // namespace qtx

#include "files/kelm.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qtx {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

ImageRecord sampleRecord() {
    ImageRecord r;
    r.exposure100 = 250, r.focallength = 12.5F, r.aperturearea = 3.14159F, r.imagenote = "M31";
    r.background = 884, r.range = 2000, r.imageheight = 2, r.imagewidth = 3;
    r.imagedate = "06/15/2026", r.imagetime = "9:05:07", r.temperature = -5.25F, r.numexposures = 1;
    r.history = "-", r.sitenumber = 3, r.pixelsize = 0.0074F, r.pedestal = 100, r.egain100 = 234;
    r.imageyear = 2026, r.filtername = "None", r.binning = 0;
    return r;
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
    const Bytes header = composeHeader(sampleRecord(), false);
    Bytes padded = bytesOf(expected);
    padded.resize(2048, ' ');
    EXPECT_EQ(header, padded);
    // Centimetres go to the file in inches: 31.75 cm is 12.5 inches, 20.2683 cm^2 3.1416 in^2.
    ImageRecord cm = sampleRecord();
    cm.focallength = 31.75F;
    cm.aperturearea = 20.2683F;
    EXPECT_EQ(composeHeader(cm, true), header);
}

TEST(KelmHeader, NoteNeverBreaksTheHeader) {
    for (const auto& [note, line] :
         {std::pair<std::string, std::string>{"a\r\nb", "Note = a  b\n\r"},
          {std::string(3000, 'x'), "Note = xxxx"}}) {
        ImageRecord r = sampleRecord();
        r.imagenote = note;
        const Bytes bytes = composeHeader(r, false);
        EXPECT_NE(std::string(bytes.begin(), bytes.end()).find(line), std::string::npos) << line;
        // Shortened rather than the end lost: the file still reads back.
        const KelmHeader parsed = parseHeader(bytes);
        EXPECT_EQ(parsed.failure, "");
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
        Bytes packed;
        packRow(c.row, packed);
        EXPECT_EQ(packed, c.record) << c.what;
        std::vector<std::uint16_t> back(c.row.size());
        EXPECT_TRUE(unpackRow(std::span(c.record).subspan(2), back)) << c.what;
        EXPECT_EQ(back, c.row) << c.what;
    }
    // A full row without steps: 321 bytes, a count past one byte.
    Bytes full;
    packRow(std::vector<std::uint16_t>(320, 500), full);
    EXPECT_EQ(Bytes(full.begin(), full.begin() + 2), (Bytes{0x41, 0x01}));
}

TEST(KelmRow, UnpackingIsBoundedByItsBytes) {
    std::vector<std::uint16_t> three(3);
    EXPECT_TRUE(unpackRow(Bytes{0x00, 0x00, 0xFF, 0x7F}, three));  // 0, -1 wraps, +127
    EXPECT_EQ(three, (std::vector<std::uint16_t>{0, 65535, 126}));
    EXPECT_TRUE(unpackRow(Bytes{0x05, 0x00, 0x01, 0x01, 0xAA}, three));  // a byte left over
    EXPECT_EQ(three, (std::vector<std::uint16_t>{5, 6, 7}));
    const Bytes damaged[] = {
        {},
        {0x05},
        {0x05, 0x00, 0x01},              // a token short
        {0x05, 0x00, 0x80, 0x01, 0x00},  // the escape takes the last column's token
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

TEST(KelmParse, ValuesAndFailures) {
    const struct {
        std::string line;
        bool fails;
    } cases[] = {
        {"Height = 40000", true},
        {"Width = abc", true},
        {"Exposure = 1e10", true},
        {"Background = 40000", false},
        {"Range = -3", false},
        {"E_gain = x", true},
        {"X_pixel_size = ", true},
        {"Y_pixel_size = 32.767", false},
        {"Y_pixel_size = 32.768", true},
        {"Y_pixel_size = -32.768", false},
        {"Y_pixel_size = -32.769", true},
        {"Temperature = 1e39", true},
        {"Unknown_key = abc", false},
        {"Number_exposures = 64 x", true},
        {"Readout_mode = x", false},
    };
    for (const auto& c : cases) {
        const KelmHeader h = parseHeader(bytesOf("QTX Image\n\r" + c.line + "\n\rEnd\n\r"));
        EXPECT_EQ(!h.failure.empty(), c.fails) << c.line;
    }
    EXPECT_EQ(parseHeader(bytesOf("QTX Image\n\rHeight = 12.5\n\rEnd\n\r")).imageheight, 12);
    EXPECT_EQ(parseHeader(bytesOf("QTX Image\n\rHeight = 13.5\n\rEnd\n\r")).imageheight, 14);
}

TEST(KelmParse, LineEndsAndTheCompressedMark) {
    // Fields met before a failure keep their values; a missing key stays absent.
    const KelmHeader broken = parseHeader(bytesOf("QTX Image\n\rWidth = 7\n\rHeight = x\n\r"));
    EXPECT_NE(broken.failure, "");
    EXPECT_EQ(broken.imagewidth, 7);
    EXPECT_FALSE(broken.background.has_value());

    EXPECT_FALSE(parseHeader(bytesOf("QTX Image\n\rWidth = 7\n\rEnd\n\r")).compressed);
    EXPECT_TRUE(parseHeader(bytesOf("QTX Image\n\rNote = Compressed Image\n\rEnd\n\r")).compressed);
    // CR LF instead of LF CR: every line loses its last letter, "End" is never found.
    EXPECT_EQ(parseHeader(bytesOf("QTX Image\r\nNote = x\r\nEnd\r\n")).failure,
              "the header has no End line");
    // Short lines are skipped; the last line needs no line end.
    const KelmHeader shortLines = parseHeader(bytesOf("QTX Image\n\r\n\rab\n\rEnd\n"));
    EXPECT_EQ(shortLines.failure, "");
    EXPECT_EQ(shortLines.info, "QTX Image\r\nEnd\r\n");
}

TEST(KelmPixels, BothFormsAndTheirDamage) {
    const Bytes header(2048, ' ');
    const auto file = [&header](const Bytes& block) {
        Bytes out = header;
        out.insert(out.end(), block.begin(), block.end());
        return out;
    };
    PixelArray pixels;
    pixels.resize(2, 2);
    EXPECT_EQ(readPixelBlock(file({1, 0, 2, 0, 3, 0, 0xFF, 0xFF}), false, pixels), "");
    EXPECT_EQ(pixels.cells, (std::vector<std::uint16_t>{1, 2, 3, 65535}));
    EXPECT_EQ(readPixelBlock(file({4, 0, 7, 0, 8, 0, 3, 0, 9, 0, 1}), true, pixels), "");
    EXPECT_EQ(pixels.cells, (std::vector<std::uint16_t>{7, 8, 9, 10}));

    const struct {
        Bytes block;
        bool compressed;
    } damaged[] = {
        {{1, 0, 2, 0, 3, 0, 0xFF}, false},  // one byte short
        {{0, 0}, true},                     // a count of 0
        {{0xFF, 0xFF, 1}, true},            // a negative count
        {{4, 0, 7, 0, 8}, true},            // ends inside row 1
        {{4, 0, 7, 0, 8, 0}, true},         // no row 2
        {{3, 0, 7, 0, 0x80}, true},         // a token cut short
    };
    for (const auto& d : damaged) {
        EXPECT_NE(readPixelBlock(file(d.block), d.compressed, pixels), "") << d.block.size();
    }
    EXPECT_NE(readPixelBlock(bytesOf("QTX"), true, pixels), "");
}

}  // namespace
}  // namespace qtx

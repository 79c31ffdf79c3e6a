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
}

TEST(KelmHeader, NoteNeverBreaksTheHeader) {
    for (const auto& [note, line] :
         {std::pair<std::string, std::string>{"a\r\nb", "Note = a  b\n\r"},
          {std::string(3000, 'x'), "Note = xxxx"}}) {
        ImageRecord r = sampleRecord();
        r.imagenote = note;
        const Bytes bytes = composeHeader(r, false);
        EXPECT_NE(std::string(bytes.begin(), bytes.end()).find(line), std::string::npos) << line;
        EXPECT_EQ(parseHeader(bytes).failure, "");  // shortened rather than the end lost
    }
}

// Saved again, a file's lines read as they did: one that said "packed" only in its note says
// so after a new note too, and a line that starts with an LF after a CR LF keeps its LF.
TEST(KelmHeader, RewrittenHeaderReadsAsTheFileDid) {
    const struct {
        std::string file, note, block;
    } cases[] = {
        {"Note =QTX Compressed Image\n\rWidth = 3\n\rEnd\n\r", "M42",
         "QTX Compressed Image\n\rNote = M42\n\rWidth = 3\n\rEnd\n\r\x1A"},
        {"Note =QTX Compressed Image\n\rEnd\n\r", "M31",
         "Note =QTX Compressed Image\n\rEnd\n\r\x1A"},
        {"QTX Compressed Image\n\rObserver = x\r\n\nHeight = 2\n\rEnd\n\r", "M42",
         "QTX Compressed Image\n\rObserver = x\r\n\nHeight = 2\n\rNote = M42\n\rEnd\n\r\x1A"},
    };
    for (const auto& c : cases) {
        const KelmHeader file = parseHeader(bytesOf(c.file));
        ImageRecord r = sampleRecord();  // its note is M31
        const std::vector<std::string> asLoaded = headerLines(r, false);
        r.imagenote = c.note;
        const Bytes block = rewriteHeader(file, asLoaded, r, false);
        EXPECT_TRUE(std::string(block.begin(), block.end()).starts_with(c.block)) << c.file;
        const KelmHeader again = parseHeader(block);
        EXPECT_TRUE(file.compressed && again.compressed);
        EXPECT_EQ(again.imageheight, file.imageheight) << c.file;
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
    // Too short; a token short; an escape taking the last column's token; one cut short.
    for (const Bytes& d : {Bytes{}, Bytes{0x05}, Bytes{0x05, 0x00, 0x01}, Bytes{5, 0, 0x80, 1, 0},
                           Bytes{5, 0, 1, 0x80, 1}})
        EXPECT_FALSE(unpackRow(d, three)) << d.size();

    // Running values may stray below 0 and above 65535, but not past -32768 or 98303: a first
    // value, 258 steps of 127 and a last step.
    const auto run = [](std::uint16_t first, std::uint8_t step, std::uint8_t last) {
        Bytes d{std::uint8_t(first), std::uint8_t(first >> 8)};
        d.insert(d.end(), 258, step);
        d.push_back(last);
        return d;
    };
    std::vector<std::uint16_t> row(260);
    EXPECT_TRUE(unpackRow(run(0, 0x81, 0xFE), row));  // -32766 - 2
    EXPECT_EQ(row.back(), 65536 - 32768);
    EXPECT_TRUE(unpackRow(run(65535, 0x7F, 0x02), row));  // 98301 + 2
    EXPECT_EQ(row.back(), 98303 - 65536);
    EXPECT_FALSE(unpackRow(run(0, 0x81, 0xFD), row) || unpackRow(run(65535, 0x7F, 0x03), row));
}

KelmHeader parsed(const std::string& lines) {
    return parseHeader(bytesOf("QTX Image\n\r" + lines + "End\n\r"));
}

TEST(KelmParse, ValuesAndFailures) {
    for (const char* line : {"Height = 40000", "Width = abc", "Exposure = 1e10", "E_gain = x",
                             "X_pixel_size = ", "Y_pixel_size = 32.768", "Y_pixel_size = -32.769",
                             "Temperature = 1e39", "Number_exposures = 64 x", "Height = x"}) {
        const KelmHeader h = parsed(std::string("Width = 7\n\r") + line + "\n\r");
        EXPECT_NE(h.failure, "") << line;
        EXPECT_EQ(h.imagewidth, 7) << line;  // fields met before a failure keep their values
    }
    for (const char* line :
         {"Background = 40000", "Range = -3", "Y_pixel_size = 32.767", "Y_pixel_size = -32.768",
          "Height = 32767", "Unknown_key = abc", "Readout_mode = x"}) {
        EXPECT_EQ(parsed(std::string(line) + "\n\r").failure, "") << line;
    }
    EXPECT_EQ(parsed("Height = 12.5\n\r").imageheight, 12);
    EXPECT_EQ(parsed("Height = 13.5\n\r").imageheight, 14);
}

TEST(KelmParse, LineEndsAndTheCompressedMark) {
    EXPECT_FALSE(parsed("Width = 7\n\r").compressed);
    EXPECT_FALSE(parsed("Width = 7\n\r").background.has_value());  // a missing key stays absent
    EXPECT_TRUE(parsed("Note = Compressed Image\n\r").compressed);
    // CR LF instead of LF CR: every line loses its last letter, "End" is never found.
    EXPECT_EQ(parseHeader(bytesOf("QTX Image\r\nNote = x\r\nEnd\r\n")).failure,
              "the header has no End line");
    // Short lines are skipped; the last line needs no line end.
    const KelmHeader shortLines = parseHeader(bytesOf("QTX Image\n\r\n\rab\n\rEnd\n"));
    EXPECT_EQ(shortLines.failure, "");
    EXPECT_EQ(shortLines.info, "QTX Image\r\nEnd\r\n");
}

TEST(KelmPixels, BothFormsAndTheirDamage) {
    const auto file = [](const Bytes& block) {
        Bytes out(2048, ' ');
        out.insert(out.end(), block.begin(), block.end());
        return out;
    };
    PixelArray pixels;
    pixels.resize(2, 2);
    EXPECT_EQ(readPixelBlock(file({1, 0, 2, 0, 3, 0, 0xFF, 0xFF}), false, pixels), "");
    EXPECT_EQ(pixels.cells, (std::vector<std::uint16_t>{1, 2, 3, 65535}));
    EXPECT_EQ(readPixelBlock(file({4, 0, 7, 0, 8, 0, 3, 0, 9, 0, 1}), true, pixels), "");
    EXPECT_EQ(pixels.cells, (std::vector<std::uint16_t>{7, 8, 9, 10}));

    EXPECT_NE(readPixelBlock(file({1, 0, 2, 0, 3, 0, 0xFF}), false, pixels), "");  // a byte short
    EXPECT_NE(readPixelBlock(bytesOf("QTX"), true, pixels), "");
    // A count of 0 or below; the file ends inside row 1, before row 2, inside a token.
    for (const Bytes& block : {Bytes{0, 0}, Bytes{0xFF, 0xFF, 1}, Bytes{4, 0, 7, 0, 8},
                               Bytes{4, 0, 7, 0, 8, 0}, Bytes{3, 0, 7, 0, 0x80}})
        EXPECT_NE(readPixelBlock(file(block), true, pixels), "") << block.size();
}

}  // namespace
}  // namespace qtx

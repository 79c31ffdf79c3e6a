#include "image/header.hpp"

#include <cstring>
#include <string>
#include <tuple>

#include "console_fixture.hpp"

namespace qtx::test {
namespace {

// Flags 0x3C24: inches bit clear (cm), bit 2 set (factor 0.98), pixel size code 2,
// afternoon, lunar filter, history "g", mosaic of 40.
const Bytes kBlock{
    0x24, 0x3C,              // flags
    0x64, 0x00,              // height 100
    0xC8, 0x00,              // width 200
    0x32, 0x00,              // first row 50
    0x3C, 0x00,              // first column 60
    0xFA, 0x00,              // exposure 250
    0x02, 0x00,              // two exposures
    0xDE, 0xAD, 0xBE, 0xEF,  // unused
    0x39, 0x30,              // focal length 12345
    0xC8, 0x00,              // aperture 200
    0x82, 0x33,              // date 0x3382
    0x47, 0x91,              // time 0x9147
    0x0C, 0xFE,              // temperature 65036
    0x03, 0x00,              // site 3
    0xFA, 0x00,              // egain 250
    0x78, 0x00,              // background 120
    0x60, 0x09,              // range 2400
    0x64, 0x00,              // pedestal 100
};

const char* const kPanel =
    "QTX Image\r\n"
    "Exposure = 2.500 Seconds\r\n"
    "Focal Length = 123.45 cm\r\n"
    "Aperture = 307.876 cm^2\r\n"
    "Background =  120\r\n"
    "Range =  2400\r\n"
    "Height =  100 Pixels\r\n"
    "Width =  200 Pixels\r\n"
    "Date = 03/07/2001\r\n"
    "Time = 21:05:07\r\n"
    "Temperature = -5.00 degrees C\r\n"
    "Number_exposures =  2\r\n"
    "Each_exposure =  250\r\n"
    "Observer = Site 3\r\n"
    "X Pixel Size = 0.0148 mm\r\n"
    "Y Pixel Size = 0.0148 mm\r\n"
    "Pedestal =  100\r\n"
    "Egain = 2.5 e-/ADU\r\n"
    "Filter = Lunar\r\n"
    "End";

Bytes withWord(Bytes block, std::size_t offset, std::uint16_t word) {
    block[offset] = static_cast<std::uint8_t>(word & 0xFF);
    block[offset + 1] = static_cast<std::uint8_t>(word >> 8);
    return block;
}

class HeaderTest : public ConsoleTest {
  protected:
    // The header frame stands at the front of the receive buffer, as the receiver leaves it.
    void decode(const Bytes& block) {
        Bytes frame{0xA5, 0x04, static_cast<std::uint8_t>(block.size()), 0x00, 0x00, 0x00};
        frame.insert(frame.end(), block.begin(), block.end());
        frame.insert(frame.end(), {0x00, 0x00});
        std::memcpy(console.link.rxbuffer.data(), frame.data(), frame.size());
        console.link.rxcount = static_cast<std::int16_t>(frame.size());
        console.decodeheader();
    }
};

TEST_F(HeaderTest, EveryFieldAndThePanel) {
    decode(kBlock);
    const ImageRecord& r = console.record;
    EXPECT_EQ(std::tuple(r.hdrflags, r.hdrheight, r.hdrwidth, r.hdrfirstrow, r.hdrfirstcolumn,
                         r.exposure100, r.numexposures),
              std::tuple(0x3C24, 100, 200, 50, 60, 250, 2));
    EXPECT_EQ(std::tuple(r.imageyear, r.sitenumber, r.egain100, r.background, r.range, r.pedestal,
                         r.binning, r.mosaicsnapshots),
              std::tuple(2001, 3, 250, 120, 2400, 100, 1, 40));
    EXPECT_EQ(
        r.imagedate + " " + r.imagetime + " " + r.imagenote + " " + r.filtername + " " + r.history,
        "03/07/2001 21:05:07 QTX Image Lunar g");
    EXPECT_DOUBLE_EQ(r.exposuretime, 2.5);
    EXPECT_FLOAT_EQ(r.focallength, 123.45F);
    EXPECT_FLOAT_EQ(r.aperturediameter, 20.0F);
    EXPECT_FLOAT_EQ(r.aperturearea, 307.876F);
    EXPECT_FLOAT_EQ(r.temperature, -5.0F);
    EXPECT_FLOAT_EQ(r.pixelsize, 0.0148F);
    EXPECT_TRUE(console.optics.unitscm);
    EXPECT_FALSE(console.optics.apertureflag);
    EXPECT_EQ(host.text(TextBox::headertxt), kPanel);
}

// One line of the panel, by its first words.
std::string panelLine(const std::string& panel, const std::string& start) {
    const auto at = panel.find(start);
    if (at == std::string::npos) return "(missing)";
    return panel.substr(at, panel.find("\r\n", at) - at);
}

TEST_F(HeaderTest, WordRulesShownOnThePanel) {
    const struct {
        std::size_t offset;
        std::uint16_t word;
        const char* line;
    } cases[] = {
        {10, 250, "Exposure = 2.500 Seconds"},       {10, 60500, "Exposure = 0.500 Seconds"},
        {10, 60000, "Exposure = 600.000 Seconds"},   {10, 60500, "Each_exposure =  50"},
        {10, 60000, "Each_exposure =  60000"},       {26, 65036, "Temperature = -5.00 degrees C"},
        {26, 1234, "Temperature = 12.34 degrees C"}, {22, 0x3382, "Date = 03/07/2001"},
        {22, 0xC7FF, "Date = 12/15/2126"},           {34, 40000, "Range =  32767"},
        {32, 65535, "Background =  32767"},          {28, 0x8000, "Observer = Site 32767"},
        {4, 0xFFFF, "Width =  32767 Pixels"},        {30, 5, "Egain = 0.1 e-/ADU"},
    };
    for (const auto& c : cases) {
        decode(withWord(kBlock, c.offset, c.word));
        const std::string line = c.line;
        EXPECT_EQ(panelLine(host.text(TextBox::headertxt), line.substr(0, line.find('='))), line)
            << c.offset << " " << c.word;
    }
}

TEST_F(HeaderTest, TimeAndFlags) {
    const struct {
        std::uint16_t flags;
        std::uint16_t time;
        const char* imagetime;
        float pixelsize;
        const char* filter;
        const char* history;
        std::int16_t mosaic;
        bool unitscm;
        bool apertureflag;
    } cases[] = {
        {0x0000, 0x9147, "9:05:07", 0.5F, "None", "-", 0, true, true},
        {0x0400, 0x9147, "21:05:07", 0.5F, "None", "-", 0, true, true},
        {0x0010, 0x03C0, ":15:00", 0.0074F, "None", "-", 0, true, true},
        {0x0432, 0x03C0, "12:15:00", 0.0222F, "None", "-", 0, false, true},
        {0x4004, 0xF000, "15:00:00", 0.5F, "None", "-", 6, true, false},
        {0x6806, 0xFFFF, "15:63:63", 0.5F, "Lunar", "-", 6, false, false},
        {0x1000, 0x0000, ":00:00", 0.5F, "None", "g", 0, true, true},
    };
    for (const auto& c : cases) {
        console.record.pixelsize = 0.5F;  // kept when the flags name no size
        decode(withWord(withWord(kBlock, 0, c.flags), 24, c.time));
        const ImageRecord& r = console.record;
        EXPECT_EQ(r.imagetime, c.imagetime) << c.flags;
        EXPECT_FLOAT_EQ(r.pixelsize, c.pixelsize) << c.flags;
        EXPECT_EQ(r.filtername, c.filter) << c.flags;
        EXPECT_EQ(r.history, c.history) << c.flags;
        EXPECT_EQ(r.mosaicsnapshots, c.mosaic) << c.flags;
        EXPECT_EQ(console.optics.unitscm, c.unitscm) << c.flags;
        EXPECT_EQ(console.optics.apertureflag, c.apertureflag) << c.flags;
    }
}

TEST_F(HeaderTest, ApertureAndUnits) {
    // Flags 0x0006: inches, factor 0.98; 0x0000: centimetres, factor 0.7223644800000001.
    decode(withWord(kBlock, 0, 0x0006));
    EXPECT_FLOAT_EQ(console.record.aperturearea, 307.876F);
    EXPECT_EQ(panelLine(host.text(TextBox::headertxt), "Aperture"), "Aperture = 307.876 inches^2");
    EXPECT_EQ(panelLine(host.text(TextBox::headertxt), "Focal"), "Focal Length = 123.45 inches");
    decode(withWord(kBlock, 0, 0x0000));
    EXPECT_EQ(panelLine(host.text(TextBox::headertxt), "Aperture"), "Aperture = 226.937 cm^2");
}

TEST_F(HeaderTest, RangeWordZeroKeepsThePreviousRange) {
    console.record.range = 777;
    decode(withWord(kBlock, 34, 0));
    EXPECT_EQ(console.record.range, 777);
    EXPECT_EQ(panelLine(host.text(TextBox::headertxt), "Range"), "Range =  777");
}

TEST_F(HeaderTest, NoImageSetsOnlyTheFlagFieldsAndHeight) {
    decode(kBlock);
    host.texts.clear();
    const ImageRecord before = console.record;
    // Flags 0x4812: inches, code 1, lunar, mosaic of 6; height 0; every other word changed.
    Bytes empty(38, 0x11);
    empty = withWord(withWord(empty, 0, 0x4812), 2, 0);
    decode(empty);
    const ImageRecord& r = console.record;
    EXPECT_EQ(
        std::tuple(r.hdrflags, r.hdrheight, console.optics.unitscm, console.optics.apertureflag,
                   r.binning, r.filtername, r.history, r.mosaicsnapshots),
        std::tuple(0x4812, 0, false, true, 0, "Lunar", "-", 6));
    EXPECT_FLOAT_EQ(r.pixelsize, 0.0074F);
    EXPECT_EQ(std::tuple(r.hdrwidth, r.exposure100, r.background, r.range, r.imagedate),
              std::tuple(before.hdrwidth, before.exposure100, before.background, before.range,
                         before.imagedate));
    EXPECT_TRUE(host.texts.empty());  // the panel keeps its text
}

TEST(HeaderBlock, ReadsOnlyTheBytesItHolds) {
    ImageFacts none;
    none.pixelsize = 0.5F;
    EXPECT_TRUE(decodeHeaderBlock({}, none).unitscm);
    EXPECT_EQ(none.hdrheight, 0);
    EXPECT_FLOAT_EQ(none.pixelsize, 0.5F);
    // Height, width and half a first-row word: the half word reads as 0.
    const Bytes shortBlock{0x00, 0x00, 0x05, 0x00, 0x07, 0x00, 0x09};
    ImageFacts h;
    h.range = 777;
    decodeHeaderBlock(shortBlock, h);
    EXPECT_EQ(h.hdrheight, 5);
    EXPECT_EQ(h.hdrwidth, 7);
    EXPECT_EQ(h.hdrfirstrow, 0);
    EXPECT_EQ(h.imagedate, "00/00/1999");
    EXPECT_EQ(h.range, 777);
}

}  // namespace
}  // namespace qtx::test

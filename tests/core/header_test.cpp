#include "image/header.hpp"

#include <string>
#include <tuple>

#include "console_fixture.hpp"
#include "text/numtext.hpp"

namespace qtx::test {
namespace {

// Flags 0x3C24, 100 x 200 from row 50, column 60, exposure 250 twice, an unused word pair,
// focal length 12345, aperture 200, date, time, temperature 65036, site 3, egain 250,
// background 120, range 2400, pedestal 100.
const Bytes kBlock{0x24, 0x3C, 0x64, 0x00, 0xC8, 0x00, 0x32, 0x00, 0x3C, 0x00, 0xFA, 0x00, 0x02,
                   0x00, 0xDE, 0xAD, 0xBE, 0xEF, 0x39, 0x30, 0xC8, 0x00, 0x82, 0x33, 0x47, 0x91,
                   0x0C, 0xFE, 0x03, 0x00, 0xFA, 0x00, 0x78, 0x00, 0x60, 0x09, 0x64, 0x00};

// The panel, its lines joined by "|" rather than CR LF.
const std::string kPanel =
    "QTX Image|Exposure = 2.500 Seconds|Focal Length = 123.45 cm|Aperture = 307.876 cm^2|"
    "Background =  120|Range =  2400|Height =  100 Pixels|Width =  200 Pixels|Date = 03/07/2001|"
    "Time = 21:05:07|Temperature = -5.00 degrees C|Number_exposures =  2|Each_exposure =  250|"
    "Observer = Site 3|X Pixel Size = 0.0148 mm|Y Pixel Size = 0.0148 mm|Pedestal =  100|"
    "Egain = 2.5 e-/ADU|Filter = Lunar|End";

Bytes withWord(Bytes block, std::size_t offset, std::uint16_t word) {
    block[offset] = static_cast<std::uint8_t>(word & 0xFF);
    block[offset + 1] = static_cast<std::uint8_t>(word >> 8);
    return block;
}

class HeaderTest : public ConsoleTest {
  protected:
    // The screen image is asked for and the QTX answers with this header block.
    void decode(const Bytes& block) {
        console.mnudownloadlight_Click();
        receive(frameOf(4, block));
    }
    std::string panel() const {
        std::string text = host.text(TextBox::headertxt);
        for (auto at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at))
            text.replace(at, 2, "|");
        return text;
    }
};

TEST_F(HeaderTest, EveryFieldAndThePanel) {
    decode(kBlock);
    const ImageRecord& r = console.image();
    EXPECT_EQ(panel(), kPanel);
    // What the panel does not show.
    EXPECT_EQ(std::tuple(r.hdrflags, r.hdrfirstrow, r.hdrfirstcolumn, r.imageyear, r.binning,
                         r.mosaicsnapshots, r.history, r.imagenote),
              std::tuple(0x3C24, 50, 60, 2001, 1, 40, "g", "QTX Image"));
}

// Flags 0x0006: inches, factor 0.98; 0x0000: centimetres, 0.72236448. Range 0 keeps the range
// of the image before.
TEST_F(HeaderTest, WordRulesShownOnThePanel) {
    const struct {
        std::size_t offset;
        std::uint16_t word;
        const char* line;
    } cases[] = {
        {10, 60500, "Exposure = 0.500 Seconds"},
        {10, 60000, "Exposure = 600.000 Seconds"},
        {10, 60500, "Each_exposure =  50"},
        {10, 60000, "Each_exposure =  60000"},
        {26, 1234, "Temperature = 12.34 degrees C"},
        {22, 0xC7FF, "Date = 12/15/2126"},
        {30, 5, "Egain = 0.1 e-/ADU"},
        {34, 0, "Range =  777"},
        {0, 0x0006, "Aperture = 307.876 inches^2"},
        {0, 0x0006, "Focal Length = 123.45 inches"},
        {0, 0x0000, "Aperture = 226.937 cm^2"},
    };
    for (const auto& c : cases) {
        decode(withWord(kBlock, 34, 777));
        decode(withWord(kBlock, c.offset, c.word));
        EXPECT_NE(("|" + panel() + "|").find("|" + std::string(c.line) + "|"), std::string::npos)
            << panel();
    }
}

// Time, pixel size, filter, history, mosaic, unit and aperture factor from flags and time. Flags
// that name no pixel size keep the 0.0148 of the image before.
TEST_F(HeaderTest, TimeAndFlags) {
    const struct {
        std::uint16_t flags, time;
        const char* facts;
    } cases[] = {
        {0x0000, 0x9147, "9:05:07 0.0148 None - 0 cm 0.72"},
        {0x0010, 0x03C0, ":15:00 0.0074 None - 0 cm 0.72"},
        {0x0432, 0x03C0, "12:15:00 0.0222 None - 0 in 0.72"},
        {0x6806, 0xFFFF, "15:63:63 0.0148 Lunar - 6 in 0.98"},
    };
    for (const auto& c : cases) {
        decode(kBlock);
        decode(withWord(withWord(kBlock, 0, c.flags), 24, c.time));
        const ImageRecord& r = console.image();
        EXPECT_EQ(r.imagetime + " " + formatPattern(r.pixelsize, "0.0000") + " " + r.filtername +
                      " " + r.history + " " + std::to_string(r.mosaicsnapshots) +
                      (console.opticsSettings().unitscm ? " cm" : " in") +
                      (console.opticsSettings().apertureflag ? " 0.72" : " 0.98"),
                  c.facts);
    }
}

}  // namespace
}  // namespace qtx::test

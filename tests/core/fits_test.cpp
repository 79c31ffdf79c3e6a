// The FITS export: the date conversion, and the files it writes, read back with CFITSIO
// and passed by fitsverify.
#include <fitsio.h>

#include <cstdio>
#include <filesystem>
#include <map>

#include "console_fixture.hpp"
#include "files/fits_keywords.hpp"

namespace qtx::test {
namespace {

TEST(FitsDates, IsoFromTheImagesDateAndTime) {
    EXPECT_EQ(isoDateTime("03/07/2001", "21:05:07"), "2001-03-07T21:05:07");
    EXPECT_EQ(isoDateTime("02/29/2004", "9:05:07"), "2004-02-29T09:05:07");
    EXPECT_EQ(isoDateTime("12/31/2126", ":15:00"), "2126-12-31T00:15:00");  // hour 0: no digit
    EXPECT_EQ(isoDateTime("02/29/2004", "23:59:59"), "2004-02-29T23:59:59");
    // Without a time of day that can be, the date alone.
    for (const char* time : {"27:05:07", "", "00012:05:07", "9:0a:07", "12:305:07"})
        EXPECT_EQ(isoDateTime("02/29/2004", time), "2004-02-29") << time;
    for (const char* date : {"02/29/2001", "13/01/2001", "3/7/2001", "03/07/20x1", ""})
        EXPECT_FALSE(isoDateTime(date, "1:00:00")) << date;
}

// A FITS file as CFITSIO reads it: the values of its cards (texts without their quotes, the
// last COMMENT's text) and the pixels, FITS row 1 first.
struct FitsRead {
    int status = 0;
    std::map<std::string, std::string> keys;
    long axes[2] = {0, 0};
    std::vector<std::uint16_t> pixels;
};

FitsRead readFits(const std::string& path) {
    FitsRead r;
    int& s = r.status;
    fitsfile* f = nullptr;
    ffdkopn(&f, path.c_str(), READONLY, &s);
    int count = 0;
    ffghsp(f, &count, nullptr, &s);
    for (int i = 1; i <= count && s == 0; ++i) {
        char name[FLEN_KEYWORD] = {}, value[FLEN_VALUE] = {}, comment[FLEN_COMMENT] = {};
        ffgkyn(f, i, name, value, comment, &s);
        if (value[0] == '\'') ffgkys(f, name, value, comment, &s);
        r.keys[name] = std::string_view(name) == "COMMENT" ? comment : value;
    }
    ffgisz(f, 2, r.axes, &s);
    r.pixels.resize(static_cast<std::size_t>(std::max(0L, r.axes[0] * r.axes[1])));
    ffgpv(f, TUSHORT, 1, static_cast<LONGLONG>(r.pixels.size()), nullptr, r.pixels.data(), nullptr,
          &s);
    int closing = 0;
    if (f) ffclos(f, &closing);
    return r;
}

class FitsTest : public ConsoleTest {
  protected:
    FitsRead exported(const std::string& name) {
        host.fileAnswers.push_back(tmp.path(name));
        console.mnufits_Click();
        return readFits(tmp.path(name));
    }
    static void expectCards(const FitsRead& read, const std::map<std::string, std::string>& present,
                            const std::vector<std::string>& absent) {
        ASSERT_EQ(read.status, 0);
        for (const auto& [name, value] : present)
            EXPECT_EQ(read.keys.contains(name) ? read.keys.at(name) : "(none)", value) << name;
        for (const std::string& name : absent) EXPECT_FALSE(read.keys.contains(name)) << name;
    }
};

TEST_F(FitsTest, PixelsBottomRowFirstAndCardsInMillimetresAndMicrometres) {
    // The facts a QTX header gives, with a 3 x 2 image: 0.505 s (the word in milliseconds;
    // exposure100 has lost one) of 4 exposures at 21:05:07 on 03/07/2001, -5.25 degrees,
    // pixels 0.0148 mm, gain 2.30, focal length 80 in, aperture 10 in, site 3.
    const std::uint16_t topDown[] = {0, 65535, 32768, 40000, 7, 32767};
    ImageHeader h;
    h.flags = kInches | kFactor98 | kPixels148 | kAfternoon | kLunar;
    h.height = 2, h.width = 3, h.exposure = 60505, h.numexposures = 4, h.focallength = 8000;
    h.aperture = 100, h.date = 3 << 12 | 7 << 7 | 2, h.time = 9 << 12 | 5 << 6 | 7;
    h.temperature = std::uint16_t(-525), h.site = 3, h.egain = 230, h.background = 120;
    h.range = 2400;
    console.mnudownloadlight_Click();
    for (const Bytes& frame :
         imageFrames(h, [&](int x, int y) { return topDown[(y - 1) * 3 + x - 1]; }))
        receive(frame);
    host.promptAnswers.push_back("M31~ O'Neil's \xE9 scope");
    console.mnunote_Click();
    FitsRead read = exported("received.fits");
    EXPECT_EQ(read.pixels, (std::vector<std::uint16_t>{40000, 7, 32767, 0, 65535, 32768}));
    // The standard's own checker: the set-up installs it, so its absence is a failure too.
    std::string verdict;
    if (std::FILE* p =
            ::popen(("fitsverify -q '" + tmp.path("received.fits") + "' 2>&1").c_str(), "r")) {
        for (char b[512]; std::fgets(b, sizeof b, p);) verdict += b;
        ::pclose(p);
    }
    EXPECT_NE(verdict.find("verification OK"), std::string::npos) << verdict;
    EXPECT_EQ(verdict.find("warning"), std::string::npos) << verdict;
    // clang-format off
    expectCards(read,
                {{"BITPIX", "16"}, {"NAXIS", "2"}, {"NAXIS1", "3"}, {"NAXIS2", "2"}, {"SITE", "3"},
                 {"BZERO", "32768"}, {"DATE-OBS", "2001-03-07T21:05:07"}, {"EXPTIME", "0.505"},
                 {"CCD-TEMP", "-5.25"}, {"XPIXSZ", "14.80"}, {"YPIXSZ", "14.80"}, {"BSCALE", "1"},
                 {"XBINNING", "2"}, {"YBINNING", "2"}, {"EGAIN", "2.30"}, {"PEDESTAL", "0"},
                 {"SNAPSHOT", "4"}, {"FOCALLEN", "2032.00"}, {"APTAREA", "49657.32"},
                 {"CBLACK", "120"}, {"CWHITE", "2520"}, {"FILTER", "Lunar"}, {"INSTRUME", "QTX"},
                 {"IMAGETYP", "Light Frame"}, {"ROWORDER", "BOTTOM-UP"}},
                {"OBSERVER"});
    // clang-format on
    EXPECT_TRUE(read.keys["SWCREATE"].starts_with("qtx-console ")) << read.keys["SWCREATE"];
    EXPECT_EQ(read.keys["COMMENT"], "M31~ O'Neil's ? scope");

    // A loaded file, in centimetres: its lines count, not the record's values of the image
    // before; a line it lacks gives no card, nor does a binning code of 3.
    std::string file =
        "QTX Image\n\rHeight = 2\n\rWidth = 3\n\rExposure = 50\n\rNumber_exposures = 1\n\r"
        "Focal_length = 10.00\n\rAperture = 2.000\n\rBackground = -200\n\rNote =  \n\r"
        "Observer = J. O'Neil\n\rX_pixel_size = 0.0074\n\rReadout_mode = 3\n\rEnd\n\r";
    file.resize(2048 + 12, ' ');
    TempDir::write(tmp.path("loaded.QTX"), file);
    console.mnucentimeters_Click();
    host.fileAnswers.push_back(tmp.path("loaded.QTX"));
    console.mnuload_Click();
    ASSERT_TRUE(host.messageBoxes.empty()) << host.messageBoxes.front();
    read = exported("loaded.fits");
    EXPECT_FALSE(host.fileDialogs.back().open);  // a save dialog after the open one
    // clang-format off
    expectCards(read,
                {{"EXPTIME", "0.500"}, {"OBSERVER", "J. O'Neil"}, {"XPIXSZ", "7.40"},
                 {"SNAPSHOT", "1"}, {"FOCALLEN", "254.00"}, {"APTAREA", "1290.32"},
                 {"CBLACK", "-200"}, {"CWHITE", "2200"}},  // as Adjust Contrast may set it
                {"XBINNING", "YPIXSZ", "SITE", "CCD-TEMP", "DATE-OBS", "EGAIN", "FILTER"});
    // clang-format on
    EXPECT_FALSE(read.keys["COMMENT"].starts_with("M31")) << read.keys["COMMENT"];
    // A file that tells only the pixel's height: no width, and no binning without it.
    file.replace(file.find("X_pixel"), 1, "Y");
    TempDir::write(tmp.path("tall.QTX"), file);
    host.fileAnswers.push_back(tmp.path("tall.QTX"));
    console.mnuload_Click();
    expectCards(exported("tall.fits"), {{"YPIXSZ", "7.40"}}, {"XPIXSZ", "XBINNING"});

    // A header from the QTX: its own facts again.
    // inches, factor 0.98, pixels 0.0074 mm; site 5, gain 3.10, range 256
    const Bytes block = wordBytes({0x16, 2, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5, 310, 0, 256, 0});
    console.mnudownloadlight_Click();
    receive(frameOf(4, block));
    read = exported("header.fits");
    expectCards(read, {{"EGAIN", "3.10"}, {"SITE", "5"}, {"XPIXSZ", "7.40"}, {"FILTER", "None"}},
                {"OBSERVER", "FOCALLEN", "APTAREA"});  // no optics in this header
}

TEST_F(FitsTest, RefusalsAndAFailedWriteLeaveNoFile) {
    holdImage(1, 2, [](int, int y) { return y; });
    TempDir::write(tmp.path("taken.fits"), "mine");
    host.fileAnswers = {"", tmp.path("taken.old"), tmp.path("gone/m31.fits")};
    for (int i = 0; i < 3; ++i) console.mnufits_Click();
    EXPECT_EQ(host.messageBoxes,
              (std::vector<std::string>{"No file name specified",
                                        "FITS File with same name already exists!"}));
    EXPECT_EQ(host.text(TextBox::PCtext),
              "FITS not saved: " + tmp.path("gone/m31.fits") + ": No such file or directory");
    EXPECT_EQ(host.fileDialogs.back().filter, "All Files (*.*)|*.*|FITS Files (*.fits)|*.fits");
    EXPECT_EQ(TempDir::readText(tmp.path("taken.fits")), "mine");
    EXPECT_FALSE(std::filesystem::exists(tmp.path("gone")));
}

}  // namespace
}  // namespace qtx::test

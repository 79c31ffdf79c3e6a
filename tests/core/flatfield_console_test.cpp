// The Flat Field command on a console with a fake host: loading the flat frame, its messages
// and refusals, the corrected image, and the track offsets it shifts by.
#include "console_fixture.hpp"
#include "files/kelm.hpp"
#include "files/tracklist.hpp"
#include "image/contrast.hpp"
#include "text/numtext.hpp"

namespace qtx::test {
namespace {

const std::string kUnreadable = "Flat field unsuccessfully loaded";
const std::string kMismatch = "Flat field dimensions do not match image!";

// A uniform flat frame file as the console saves one: background 1000, range 500.
std::string uniformFlat(int w, int h, int value) {
    ImageRecord r;
    r.imagewidth = static_cast<std::int16_t>(w), r.imageheight = static_cast<std::int16_t>(h);
    r.background = 1000, r.range = 500;
    Bytes bytes = composeHeader(r, false);
    for (int y = 1; y <= h; ++y)
        packRow(std::vector<std::uint16_t>(static_cast<std::size_t>(w), value), bytes);
    return {bytes.begin(), bytes.end()};
}

// A header line changed; one of the same length keeps the pixel block where it was.
std::string edited(std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
}

class FlatFieldTest : public ConsoleTest {
  protected:
    // The header of a w x h image, pedestal 100, shown with background 50 and range 2000; a
    // second exposure shifted by (dx, dy) when that is not (0, 0).
    static ImageHeader header(int w, int h, int dx = 0, int dy = 0) {
        ImageHeader header;
        header.height = std::uint16_t(h), header.width = std::uint16_t(w), header.pedestal = 100;
        header.numexposures = dx || dy ? 2 : 1, header.background = 50, header.range = 2000;
        header.trackRow[2] = std::uint16_t(dx), header.trackRow[3] = std::uint16_t(dy);
        return header;
    }
    // The image of 100 y + x received; the texts shown meanwhile are cleared.
    void holdImage(const ImageHeader& header) {
        console.mnudownloadlight_Click();
        for (const Bytes& frame : imageFrames(header, [](int x, int y) { return 100 * y + x; }))
            receive(frame);
        host.texts.clear();
    }
    // An empty `bytes` leaves the file missing.
    void flatField(const std::string& name, const std::string& bytes) {
        if (!bytes.empty()) TempDir::write(tmp.path(name), bytes);
        host.fileAnswers.push_back(tmp.path(name));
        console.mnuflatfield_Click();
    }
};

TEST_F(FlatFieldTest, CorrectsShiftsCropsAndEndsWithAutoContrast) {
    // Shift (3, -2): columns 4..20 and rows 1..13 are in both exposures. The flat's range of
    // 0 is not taken: it is drawn with the range in use.
    holdImage(header(20, 15, 3, -2));
    flatField("flat.QTX", edited(uniformFlat(20, 15, 1100), "Range =  500", "Range =    0"));
    EXPECT_TRUE(host.fileDialogs.back().open);
    EXPECT_TRUE(host.messageBoxes.empty());
    const ImageRecord& r = console.image();
    ASSERT_EQ(r.imagewidth * 1000 + r.imageheight, 17013);
    EXPECT_EQ(r.imagedata.at(17, 13), 1320 + 100);  // image pixel (20, 13) plus the pedestal
    EXPECT_FALSE(console.flatField().showflat);
    const ContrastLevels levels = autoContrastLevels(r.imagedata, 17, 13);
    EXPECT_EQ(pcTexts(),
              (std::vector<std::string>{
                  tmp.path("flat.QTX") + " loaded",
                  "Background = 1000\r\nRange = 2000",  // the flat is drawn with its background
                  "Calculating shifted and summed flat field",
                  "Done with flat field correction",
                  "Background =" + signedText(levels.background) +
                      "\r\nRange =" + signedText(levels.range),
              }));
}

TEST_F(FlatFieldTest, RefusalsLeaveTheImageAsItWas) {
    const std::string good = uniformFlat(20, 15, 1100),
                      notDone = " - flat field correction not done";
    const std::string tooWide = "Image is too wide - not QTX Format!",
                      tooTall = "Image is too tall - not QTX Format!";
    // The image: its size, the shift across of a second exposure, the rows in its array.
    const struct {
        const char* what;
        std::string file;  // empty: there is none
        std::vector<std::string> messages;
        struct {
            int w = 20, h = 15, shift = 0, received = 15;
        } image = {};
    } cases[] = {
        {"missing file", "", {kUnreadable}},
        {"value not a number", edited(good, "Range =  500", "Range = lots"), {kUnreadable}},
        {"rows cut short", good.substr(0, good.size() - 5), {kUnreadable}},
        {"no columns", edited(good, "Width =  20", "Width =  0"), {kUnreadable}},
        {"negative rows", edited(good, "Height =  15", "Height = -15"), {kUnreadable}},
        {"too wide", edited(good, "Width =  20", "Width =  321"), {tooWide, kMismatch}},
        {"too tall", edited(good, "Height =  15", "Height =  201"), {tooTall, kMismatch}},
        {"one column", uniformFlat(1, 15, 1100), {kMismatch}},
        {"one row", uniformFlat(20, 1, 1100), {kMismatch}},
        {"the largest flat", uniformFlat(320, 200, 1100), {kMismatch}},
        {"image too small",
         uniformFlat(11, 12, 1100),
         {"Image is too small for flat field correction (12 x 12 pixels at least)"},
         {11, 12, 0, 12}},
        {"dark centre",
         uniformFlat(20, 15, 100),
         {"Flat field is too dark at its centre" + notDone}},
        {"no common part",
         good,
         {"Track offsets leave no part of the image in every exposure" + notDone},
         {20, 15, 20}},
        // A new header has sized the array for the image on its way in; the record still
        // names the size of the one before.
        {"being received", good, {"The image is still being received" + notDone}, {20, 15, 0, 12}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto& [w, h, shift, received] = c.image;
        holdImage(header(w, h, shift));
        if (received != h) {
            console.mnudownloadlight_Click();
            receive(imageHeaderFrame(header(20, 12)));
        }
        console.showimage();
        const ImageRecord& r = console.image();
        const PixelArray before = r.imagedata;
        const Bytes picture = host.surface;
        const std::string panel = host.text(TextBox::headertxt);
        host.messageBoxes.clear();
        flatField(std::string(c.what) + ".QTX", c.file);
        EXPECT_EQ(host.messageBoxes, c.messages);
        // Nothing changed: pixels, size, levels, panel, picture.
        EXPECT_EQ(r.imagedata.cells, before.cells);
        EXPECT_EQ(r.imagewidth * 1000 + r.imageheight, w * 1000 + h);
        EXPECT_EQ(std::pair(r.background, r.range), std::pair(50, 2000));
        EXPECT_EQ(host.text(TextBox::headertxt), panel);
        EXPECT_EQ(host.surface, picture);
        EXPECT_FALSE(console.flatField().showflat);
    }
}

// A received image brings its own track offsets; the flat field never uses those of a file
// loaded before it.
TEST_F(FlatFieldTest, ReceivedImageSetsItsTrackOffsets) {
    // A summed image of 5 exposures loaded with its track list.
    ImageRecord loaded;
    loaded.imagewidth = 1, loaded.imageheight = 1, loaded.numexposures = 5;
    Bytes image = composeHeader(loaded, false);
    packRow(std::vector<std::uint16_t>{1}, image);
    TempDir::write(tmp.path("five.QTX"), std::string(image.begin(), image.end()));
    TempDir::write(tmp.path("five.trk"), trackListText(loaded, {1, 1, 2, 2, 3, 3, 4, 4, 5, 5}));
    host.fileAnswers.push_back(tmp.path("five.QTX"));
    console.mnuload_Click();
    ASSERT_EQ(console.trackOffsets().trackcount, 5);

    startImage({.height = 1, .width = 2, .firstrow = 0, .firstcolumn = 0, .numexposures = 2});
    std::vector<std::uint16_t> trackRow(320, 0);
    trackRow[2] = 7, trackRow[3] = 65534;
    receive(rawRow({1, 2}) + rawRow(trackRow));
    const TrackOffsets& t = console.trackOffsets();
    EXPECT_EQ(std::tuple(t.trackcount, t.trackx[2], t.tracky[2]), std::tuple(2, 7, -2));
}

}  // namespace
}  // namespace qtx::test

// Bitmap files of the picture: the encoder by its bytes, the export command on a console
// with a fake host.
#include <filesystem>

#include "console_fixture.hpp"
#include "image/grey_bitmap.hpp"

namespace qtx::test {
namespace {

constexpr std::size_t kRowsAt = 1078;

TEST(GreyBitmap, HeadersPaletteAndPaddedRowsBottomUp) {
    const Bytes greys{10, 20, 30, 40, 50, 60};  // 3 x 2, top row first
    const Bytes file = encodeGreyBitmap(greys, 3, 2);
    const Bytes headers{
        'B',  'M',  0x3E, 0x04, 0x00, 0x00,              // 1086 bytes in all
        0x00, 0x00, 0x00, 0x00,                          // reserved
        0x36, 0x04, 0x00, 0x00,                          // rows at 1078
        0x28, 0x00, 0x00, 0x00,                          // 40-byte information header
        0x03, 0x00, 0x00, 0x00,                          // 3 columns
        0x02, 0x00, 0x00, 0x00,                          // 2 rows, bottom up
        0x01, 0x00, 0x08, 0x00,                          // 1 plane, 8 bits
        0x00, 0x00, 0x00, 0x00,                          // not compressed
        0x08, 0x00, 0x00, 0x00,                          // 8 bytes of rows
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // resolution not stated
        0x00, 0x01, 0x00, 0x00,                          // 256 colours
        0x00, 0x00, 0x00, 0x00,                          // all important
    };
    ASSERT_EQ(file.size(), 1086U);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 54), headers);
    EXPECT_EQ(Bytes(file.begin() + 54, file.begin() + 62), (Bytes{0, 0, 0, 0, 1, 1, 1, 0}));
    EXPECT_EQ(Bytes(file.begin() + 54 + 4 * 128, file.begin() + 54 + 4 * 129),
              (Bytes{128, 128, 128, 0}));
    EXPECT_EQ(Bytes(file.begin() + 1074, file.begin() + 1078), (Bytes{255, 255, 255, 0}));
    EXPECT_EQ(Bytes(file.begin() + kRowsAt, file.end()), (Bytes{40, 50, 60, 0, 10, 20, 30, 0}));

    // The surface: 320 columns need no padding; a picture not yet painted is black.
    const Bytes surface = encodeGreyBitmap({}, 320, 200);
    ASSERT_EQ(surface.size(), kRowsAt + 64000);
    EXPECT_EQ(Bytes(surface.begin() + 2, surface.begin() + 6), (Bytes{0x36, 0xFE, 0x00, 0x00}));
    EXPECT_EQ(Bytes(surface.begin() + 18, surface.begin() + 26),
              (Bytes{0x40, 0x01, 0x00, 0x00, 0xC8, 0x00, 0x00, 0x00}));
    EXPECT_EQ(Bytes(surface.begin() + kRowsAt, surface.end()), Bytes(64000, 0));
    const Bytes large = encodeGreyBitmap({}, 256, 256);  // 66614 bytes: the high word counts
    EXPECT_EQ(Bytes(large.begin() + 2, large.begin() + 6), (Bytes{0x36, 0x04, 0x01, 0x00}));
}

class BitmapTest : public ConsoleTest {
  protected:
    // A 200 x 100 image shown in the middle of the surface, its levels spread over the greys.
    void showImage() {
        ImageRecord& r = console.record;
        r.imagedata.resize(200, 100);
        for (int y = 1; y <= 100; ++y) {
            for (int x = 1; x <= 200; ++x)
                r.imagedata.at(x, y) = static_cast<std::uint16_t>(40 * x + 7 * y);
        }
        r.imagewidth = 200;
        r.imageheight = 100;
        r.background = 500;
        r.range = 6000;
        console.showimage();
    }
    Bytes exportAs(const std::string& name) {
        host.fileAnswers.push_back(tmp.path(name));
        console.mnubitmap_Click();
        return TempDir::read(tmp.path(name.substr(0, name.find('.')) + ".bmp"));
    }
    // The grey at surface pixel (x, y), from the top left, in the file and on the screen.
    static std::uint8_t filePixel(const Bytes& file, int x, int y) {
        return file.at(kRowsAt + static_cast<std::size_t>((199 - y) * 320 + x));
    }
    std::uint8_t screenPixel(int x, int y) const {
        return host.surface.at(static_cast<std::size_t>((y * 320 + x) * 4));
    }
    void expectFileShowsTheScreen(const Bytes& file) {
        ASSERT_EQ(file.size(), kRowsAt + 64000);
        int differing = 0;
        for (int y = 0; y < 200; ++y) {
            for (int x = 0; x < 320; ++x) differing += filePixel(file, x, y) != screenPixel(x, y);
        }
        EXPECT_EQ(differing, 0);
    }
};

TEST_F(BitmapTest, TheFileHoldsThePictureAsShown) {
    showImage();
    const Bytes first = exportAs("m31.old");
    ASSERT_EQ(host.fileDialogs.size(), 1U);
    EXPECT_FALSE(host.fileDialogs[0].open);
    EXPECT_EQ(host.fileDialogs[0].filter, "All Files (*.*)|*.*|BMP Files (*.bmp)|*.bmp");
    EXPECT_FALSE(console.files.bmpfilter);
    EXPECT_TRUE(host.messageBoxes.empty());
    expectFileShowsTheScreen(first);
    EXPECT_EQ(filePixel(first, 59, 50), 0);      // the border
    EXPECT_EQ(filePixel(first, 60, 50), 0);      // 47 counts, under the background: black
    EXPECT_EQ(filePixel(first, 259, 149), 255);  // (8000 + 700) is past white
    EXPECT_EQ(filePixel(first, 80, 60), 18);     // (840 + 77 - 500) / 23.4375 = 17.8
    EXPECT_EQ(filePixel(first, 260, 149), 0);

    // Other levels, another file, another picture.
    console.record.range = 3000;
    console.showimage();
    const Bytes second = exportAs("m31b");
    expectFileShowsTheScreen(second);
    EXPECT_NE(second, first);
}

TEST_F(BitmapTest, EmptySurfaceUnderANameCutAtItsFirstPoint) {
    // A "." in a folder name cuts the name there.
    std::filesystem::create_directory(tmp.path("obs.2001"));
    host.fileAnswers.push_back(tmp.path("obs.2001/m31"));
    console.mnubitmap_Click();
    const Bytes file = TempDir::read(tmp.path("obs.bmp"));
    ASSERT_EQ(file.size(), kRowsAt + 64000);
    EXPECT_EQ(Bytes(file.begin() + kRowsAt, file.end()), Bytes(64000, 0));
    EXPECT_TRUE(std::filesystem::is_empty(tmp.path("obs.2001")));
}

TEST_F(BitmapTest, RefusalsAndFailuresWriteNothing) {
    console.mnubitmap_Click();
    EXPECT_EQ(host.messageBoxes, std::vector<std::string>{"No file name specified"});

    // The same name again: the first file stays as it was.
    const Bytes first = exportAs("twice.bmp");
    showImage();
    host.messageBoxes.clear();
    EXPECT_EQ(exportAs("twice.x"), first);
    EXPECT_EQ(host.messageBoxes,
              std::vector<std::string>{"Bitmap File with same name already exists!"});

    host.messageBoxes.clear();
    host.texts.clear();
    host.fileAnswers.push_back(tmp.path("nowhere/pic"));
    console.mnubitmap_Click();
    EXPECT_TRUE(host.messageBoxes.empty());
    EXPECT_EQ(host.text(TextBox::PCtext),
              "Bitmap not saved: " + tmp.path("nowhere/pic.bmp") + ": No such file or directory");
}

}  // namespace
}  // namespace qtx::test

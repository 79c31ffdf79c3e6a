// Bitmap files of the picture: the encoder by its bytes, the export command on a console
// with a fake host.
#include "console_fixture.hpp"
#include "image/grey_bitmap.hpp"

namespace qtx::test {
namespace {

constexpr std::size_t kRowsAt = 1078;

TEST(GreyBitmap, HeadersPaletteAndPaddedRowsBottomUp) {
    const Bytes file = encodeGreyBitmap(Bytes{10, 20, 30, 40, 50, 60}, 3, 2);  // top row first
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
    EXPECT_EQ(Bytes(file.begin() + 1074, file.begin() + 1078), (Bytes{255, 255, 255, 0}));
    EXPECT_EQ(Bytes(file.begin() + kRowsAt, file.end()), (Bytes{40, 50, 60, 0, 10, 20, 30, 0}));

    // 66614 bytes: the high word of the size counts. A picture not yet painted is black.
    const Bytes large = encodeGreyBitmap({}, 256, 256);
    EXPECT_EQ(Bytes(large.begin() + 2, large.begin() + 6), (Bytes{0x36, 0x04, 0x01, 0x00}));
    EXPECT_EQ(Bytes(large.begin() + kRowsAt, large.end()), Bytes(65536, 0));
}

using BitmapTest = ConsoleTest;

TEST_F(BitmapTest, TheFileHoldsThePictureAsShown) {
    // A 200 x 100 image whose levels spread over the greys.
    holdImage(
        200, 100, [](int x, int y) { return 40 * x + 7 * y; }, 500, 6000);
    console.showimage();
    // The same name again: the first file stays as it was.
    host.fileAnswers = {tmp.path("m31.old"), tmp.path("m31.x")};
    for (int i = 0; i < 2; ++i) console.mnubitmap_Click();
    EXPECT_EQ(host.messageBoxes,
              (std::vector<std::string>{"Bitmap File with same name already exists!"}));
    // The surface as it is on the screen, bottom row first.
    const Bytes file = TempDir::read(tmp.path("m31.bmp"));
    ASSERT_EQ(file.size(), kRowsAt + 64000);
    int differing = 0;
    for (std::size_t y = 0; y < 200; ++y) {
        for (std::size_t x = 0; x < 320; ++x)
            differing += file[kRowsAt + (199 - y) * 320 + x] != host.surface[(y * 320 + x) * 4];
    }
    EXPECT_EQ(differing, 0);
    EXPECT_EQ(file[kRowsAt + 50 * 320 + 259], 255);
}

}  // namespace
}  // namespace qtx::test

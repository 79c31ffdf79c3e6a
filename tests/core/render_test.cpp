#include "image/render.hpp"

#include <algorithm>
#include <limits>

#include "console_fixture.hpp"

namespace qtx::test {
namespace {

TEST(GreyLevel, ThroughBackgroundAndRange) {
    const struct {
        std::uint16_t p;
        std::int32_t background;
        std::int32_t range;
        int grey;
    } cases[] = {
        {120, 120, 2400, 0},     // background is black
        {119, 120, 2400, 0},     // below it too
        {2520, 120, 2400, 255},  // background + range is white
        {1320, 120, 2400, 128},  // 1200 / 9.375 = 128
        {0, 0, 256, 0},
        {100, 0, 256, 100},
        {254, 0, 256, 254},
        {255, 0, 256, 255},
        {256, 0, 256, 255},
        {65535, 0, 256, 255},
        {40000, 39900, 256, 100},  // the top bit set is a large value, not a negative one
        {1, 0, 512, 0},            // 0.5
        {3, 0, 512, 2},            // 1.5
        {5, 0, 512, 2},            // 2.5
        {7, 0, 512, 4},            // 3.5
        {900, 1000, -256, 100},    // a negative range inverts
        {1100, 1000, -256, 0},
        {0, std::numeric_limits<std::int32_t>::min(), 256, 255},
        {65535, std::numeric_limits<std::int32_t>::max(), 256, 0},
        // The divisor is a float: 16777217 / 256 rounds to 65536, so 16613376 / s is
        // exactly 253.5 and goes to the even 254 (a double divisor would give 253).
        {0, -16613376, 16777217, 254},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(greyLevel(c.p, c.background, levelStep(c.range)), c.grey)
            << c.p << " " << c.background << " " << c.range;
    }
    EXPECT_EQ(greyLevel(100, 0, 0.0F), 255);
    EXPECT_EQ(greyLevel(0, 0, 0.0F), 0);
}

class RenderTest : public ConsoleTest {
  protected:
    // Pixel (x, y) holds (x + y) mod 256; with background 0 and range 256 that is also its
    // grey level.
    void setImage(int w, int h) {
        holdImage(w, h, [](int x, int y) { return (x + y) % 256; });
    }
    std::uint8_t surfaceByte(int x, int y, int byte) const {
        return host.surface.at(
            static_cast<std::size_t>((y * 320 + x) * (host.bitsPerPixel / 8) + byte));
    }
    long litBytes() const {
        return std::count_if(host.surface.begin(), host.surface.end(),
                             [](auto b) { return b != 0; });
    }
};

TEST_F(RenderTest, CentredOnTwentyFourAndThirtyTwoBitSurfaces) {
    for (int depth : {24, 32}) {
        SCOPED_TRACE(depth);
        host.bitsPerPixel = depth;
        setImage(200, 100);
        console.record.background = 300;  // above every pixel but three
        console.record.range = 2400;
        console.record.imagedata.at(1, 1) = 1500;      // 1200 / 9.375: grey 128
        console.record.imagedata.at(200, 100) = 2700;  // background + range: white
        console.record.imagedata.at(2, 1) = 40000;     // white
        console.showimage();
        ASSERT_EQ(host.surface.size(), static_cast<std::size_t>(320 * 200 * depth / 8));
        EXPECT_EQ(console.record.xoffset, 60);
        EXPECT_EQ(console.record.yoffset, 50);
        for (int b = 0; b < depth / 8; ++b) {  // every byte of a pixel, the fourth too
            EXPECT_EQ(surfaceByte(60, 50, b), 128);
            EXPECT_EQ(surfaceByte(61, 50, b), 255);
            EXPECT_EQ(surfaceByte(259, 149, b), 255);
            EXPECT_EQ(surfaceByte(59, 50, b), 0);
            EXPECT_EQ(surfaceByte(60, 49, b), 0);
            EXPECT_EQ(surfaceByte(260, 149, b), 0);
            EXPECT_EQ(surfaceByte(259, 150, b), 0);
        }
        // Only the three bright pixels are lit.
        EXPECT_EQ(litBytes(), 3 * depth / 8);
        EXPECT_EQ(host.repaints, depth == 24 ? 1 : 2);
        EXPECT_TRUE(console.record.imageshown);
        EXPECT_EQ(host.text(TextBox::PCtext), "Background = 300\r\nRange = 2400");
    }
}

TEST_F(RenderTest, OffsetsTruncateTowardZero) {
    const struct {
        int w, h, xoffset, yoffset;
    } cases[] = {
        {200, 100, 60, 50}, {319, 199, 0, 0}, {320, 200, 0, 0}, {1, 1, 159, 99}, {0, 0, 160, 100}};
    for (const auto& c : cases) {
        setImage(c.w, c.h);
        console.showimage();
        EXPECT_EQ(console.record.xoffset, c.xoffset) << c.w;
        EXPECT_EQ(console.record.yoffset, c.yoffset) << c.h;
    }
}

TEST_F(RenderTest, OtherDepthsPaintPixelByPixelOnBlack) {
    host.bitsPerPixel = 16;
    setImage(200, 100);
    console.record.background = -5;
    console.showimage();
    EXPECT_EQ(host.surface, std::vector<std::uint8_t>(640 * 200, 0));
    EXPECT_EQ(host.pixelsSet.size(), 200U * 100U);
    EXPECT_EQ(host.pixelsSet.at({60, 50}), (Colour{7, 7, 7}));  // (1 + 1) + 5
    EXPECT_EQ(host.pixelsSet.at({259, 149}), (Colour{49, 49, 49}));
    EXPECT_EQ(host.pixelsSet.count({59, 50}), 0U);
    EXPECT_EQ(host.text(TextBox::PCtext), "Background =-5\r\nRange = 256");
}

TEST_F(RenderTest, LargerThanTheSurfacePaintsWhatFits) {
    for (int depth : {16, 32}) {
        SCOPED_TRACE(depth);
        host.bitsPerPixel = depth;
        host.pixelsSet.clear();
        setImage(400, 250);
        console.showimage();
        EXPECT_EQ(console.record.xoffset, 0);
        EXPECT_EQ(console.record.yoffset, 0);
        if (depth == 32) {
            ASSERT_EQ(host.surface.size(), 320U * 200U * 4U);
            EXPECT_EQ(surfaceByte(319, 199, 3), (320 + 200) % 256);
        } else {
            EXPECT_EQ(host.pixelsSet.size(), 320U * 200U);
            EXPECT_EQ(host.pixelsSet.rbegin()->first, (std::pair<int, int>{319, 199}));
        }
    }
}

// A reception has begun (the array is smaller than the image the record names), or the
// flat frame is on show: only what exists is drawn, centred.
TEST_F(RenderTest, ShowsOnlyTheArrayThatExists) {
    setImage(320, 200);
    console.record.imagedata.resize(10, 5);
    for (auto& cell : console.record.imagedata.cells) cell = 200;
    console.showimage();
    EXPECT_EQ(std::tuple(console.record.xoffset, console.record.yoffset), std::tuple(155, 97));
    EXPECT_EQ(litBytes(), 10 * 5 * 4);
    EXPECT_EQ(surfaceByte(155, 97, 0), 200);

    setImage(20, 10);
    console.flat.flatdata.resize(4, 2);
    for (auto& cell : console.flat.flatdata.cells) cell = 77;
    console.flat.flatwidth = 4;
    console.flat.flatheight = 2;
    console.flat.showflat = true;
    console.showimage();
    EXPECT_EQ(std::tuple(console.record.xoffset, console.record.yoffset), std::tuple(158, 99));
    EXPECT_EQ(surfaceByte(158, 99, 0), 77);
    EXPECT_EQ(litBytes(), 4 * 2 * 4);

    // A range of 0 keeps the previous picture.
    console.flat.showflat = false;
    console.showimage();
    const auto before = host.surface;
    const int repaints = host.repaints;
    host.texts.clear();
    console.record.range = 0;
    console.record.imagedata.at(1, 1) = 99;
    console.showimage();
    EXPECT_EQ(host.surface, before);
    EXPECT_TRUE(host.texts.empty());
    EXPECT_EQ(host.repaints, repaints);
}

using ProbeTest = RenderTest;

TEST_F(ProbeTest, ReportsThePixelUnderThePointer) {
    setImage(200, 100);
    console.record.imagedata.at(1, 1) = 40000;
    console.record.imagedata.at(12, 34) = 1530;
    // Before the first picture nothing changes.
    console.Picdata_MouseMove(0, 0, 100.0, 80.0);
    EXPECT_EQ(host.pointerChanges, 0);
    console.showimage();
    host.texts.clear();

    const struct {
        double x, y;
        bool inside;
        const char* text;
    } cases[] = {
        {60.0, 50.0, true, "Pixel position ( 1,  1) =  40000"},
        {59.0, 50.0, false, nullptr},
        {71.0, 83.0, true, "Pixel position ( 12,  34) =  1530"},
        {59.5, 50.0, true, "Pixel position ( 1,  1) =  40000"},  // -0.5 rounds to 0
        {61.5, 50.4, true, "Pixel position ( 3,  1) =  4"},      // 1.5 rounds to 2
        {60.0, 49.6, true, "Pixel position ( 1,  1) =  40000"},
        {60.0, 48.5, false, nullptr},   // -1.5 rounds to -2
        {60.0, 150.0, false, nullptr},  // the row just below the image
        {259.4, 149.0, true, "Pixel position ( 200,  100) =  44"},
        {259.5, 149.0, false, nullptr},  // 199.5 rounds to 200
        {300.0, 190.0, false, nullptr},
        {1e300, 50.0, false, nullptr},
    };
    for (const auto& c : cases) {
        host.texts.clear();
        console.Picdata_MouseMove(0, 0, c.x, c.y);
        EXPECT_EQ(host.pointer, c.inside ? Pointer::Crosshair : Pointer::Default)
            << c.x << "," << c.y;
        if (c.inside) {
            EXPECT_EQ(host.text(TextBox::PCtext), c.text) << c.x << "," << c.y;
        } else {
            EXPECT_TRUE(host.texts.empty()) << c.x << "," << c.y;  // PCtext keeps its text
        }
    }
    console.Picdata_MouseMove(0, 0, 60.0, 50.0);
    console.Form_MouseMove(0, 0, 5.0, 5.0);
    EXPECT_EQ(host.pointer, Pointer::Default);
}

TEST_F(ProbeTest, DuringAReceptionOnlyTheArrayThatExistsIsRead) {
    setImage(200, 100);
    console.showimage();
    console.record.imagedata.resize(10, 10);  // new header: the record still names 200 x 100
    host.texts.clear();
    console.Picdata_MouseMove(0, 0, 100.0, 80.0);
    EXPECT_EQ(host.pointer, Pointer::Default);
    EXPECT_TRUE(host.texts.empty());
    console.Picdata_MouseMove(0, 0, 69.0, 59.0);
    EXPECT_EQ(host.text(TextBox::PCtext), "Pixel position ( 10,  10) =  0");
}

}  // namespace
}  // namespace qtx::test

#include "image/render.hpp"

#include <algorithm>
#include <limits>

#include "console_fixture.hpp"

namespace qtx::test {
namespace {

// Halves go to even; a negative range inverts. The divisor is a float: 16777217 / 256 rounds
// to 65536, so 16613376 / s is exactly 253.5 and goes to 254 (a double would give 253).
TEST(GreyLevel, ThroughBackgroundAndRange) {
    constexpr auto kMin = std::numeric_limits<std::int32_t>::min();
    constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
    const struct {
        std::uint16_t p;
        std::int32_t background, range;
        int grey;
    } cases[] = {
        {119, 120, 2400, 0},  {2520, 120, 2400, 255},   {1320, 120, 2400, 128},
        {65535, 0, 256, 255}, {40000, 39900, 256, 100}, {3, 0, 512, 2},
        {5, 0, 512, 2},       {900, 1000, -256, 100},   {1100, 1000, -256, 0},
        {0, kMin, 256, 255},  {65535, kMax, 256, 0},    {0, -16613376, 16777217, 254},
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
    // Pixel (x, y) holds (x + y) mod 256, also its grey level.
    void setImage(int w, int h) {
        holdImage(w, h, [](int x, int y) { return (x + y) % 256; });
    }
    int surfaceByte(int x, int y, int byte = 0) const {
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
        console.record.imagedata.at(1, 1) = 1500;
        console.record.imagedata.at(2, 1) = 40000;
        console.record.imagedata.at(200, 100) = 2700;
        console.showimage();
        ASSERT_EQ(host.surface.size(), static_cast<std::size_t>(320 * 200 * depth / 8));
        for (int b = 0; b < depth / 8; ++b) {  // every byte of a pixel, the fourth too
            EXPECT_EQ(std::tuple(surfaceByte(60, 50, b), surfaceByte(61, 50, b),
                                 surfaceByte(259, 149, b)),
                      std::tuple(128, 255, 255));
        }
        EXPECT_EQ(std::tuple(litBytes(), host.repaints, console.record.imageshown),
                  std::tuple(3 * depth / 8, depth == 24 ? 1 : 2, true));
    }
}

// A reception has begun: only the array that exists is drawn, centred.
TEST_F(RenderTest, ShowsOnlyTheArrayThatExists) {
    setImage(320, 200);
    console.record.imagedata.resize(10, 5);
    std::fill(console.record.imagedata.cells.begin(), console.record.imagedata.cells.end(), 200);
    console.showimage();
    EXPECT_EQ(std::tuple(console.record.xoffset, console.record.yoffset, litBytes(),
                         surfaceByte(155, 97)),
              std::tuple(155, 97, 10L * 5 * 4, 200));
    host.bitsPerPixel = 16;  // drawn pixel by pixel, centred the same
    console.showimage();
    EXPECT_EQ((std::pair<int, int>(console.record.xoffset, console.record.yoffset)),
              std::pair(155, 97));

    // A range of 0 keeps the previous picture.
    const auto before = host.surface;
    const int repaints = host.repaints;
    host.texts.clear();
    console.record.range = 0;
    console.showimage();
    EXPECT_TRUE(host.surface == before && host.texts.empty() && host.repaints == repaints);
}

using ProbeTest = RenderTest;

TEST_F(ProbeTest, ReportsThePixelUnderThePointer) {
    setImage(200, 100);
    console.record.imagedata.at(1, 1) = 40000;
    console.record.imagedata.at(12, 34) = 1530;
    console.Picdata_MouseMove(0, 0, 100.0, 80.0);  // before the first picture: nothing
    EXPECT_EQ(host.pointerChanges, 0);
    console.showimage();

    const struct {
        double x, y;
        const char* text;  // "": outside the image, and PCtext keeps its text
    } cases[] = {
        {60.0, 50.0, "Pixel position ( 1,  1) =  40000"},
        {71.0, 83.0, "Pixel position ( 12,  34) =  1530"},
        {59.5, 50.0, "Pixel position ( 1,  1) =  40000"},  // -0.5 rounds to 0
        {61.5, 50.4, "Pixel position ( 3,  1) =  4"},      // 1.5 rounds to 2
        {60.0, 48.5, ""},                                  // -1.5 rounds to -2
        {259.4, 149.0, "Pixel position ( 200,  100) =  44"},
        {259.5, 149.0, ""},  // 199.5 rounds to 200
    };
    for (const auto& c : cases) {
        host.texts.clear();
        console.Picdata_MouseMove(0, 0, c.x, c.y);
        EXPECT_EQ(std::pair(host.pointer, host.texts.empty() ? "" : host.text(TextBox::PCtext)),
                  std::pair(*c.text ? Pointer::Crosshair : Pointer::Default, std::string(c.text)))
            << c.x << "," << c.y;
    }
    console.Picdata_MouseMove(0, 0, 60.0, 50.0);
    console.Form_MouseMove(0, 0, 5.0, 5.0);
    EXPECT_EQ(host.pointer, Pointer::Default);
}

}  // namespace
}  // namespace qtx::test

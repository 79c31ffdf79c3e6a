#include "image/render.hpp"

#include <algorithm>
#include <limits>
#include <map>

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
    // Pixel (x, y) holds (x + y) mod 256, also its grey level, but where `pixels` says.
    void setImage(int w, int h, const std::map<std::pair<int, int>, int>& pixels = {},
                  std::int32_t background = 0, std::int32_t range = 256) {
        holdImage(
            w, h,
            [&](int x, int y) {
                const auto p = pixels.find({x, y});
                return p == pixels.end() ? (x + y) % 256 : p->second;
            },
            background, range);
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
        // The background is above every pixel but three.
        setImage(200, 100, {{{1, 1}, 1500}, {{2, 1}, 40000}, {{200, 100}, 2700}}, 300, 2400);
        console.showimage();
        ASSERT_EQ(host.surface.size(), static_cast<std::size_t>(320 * 200 * depth / 8));
        for (int b = 0; b < depth / 8; ++b) {  // every byte of a pixel, the fourth too
            EXPECT_EQ(std::tuple(surfaceByte(60, 50, b), surfaceByte(61, 50, b),
                                 surfaceByte(259, 149, b)),
                      std::tuple(128, 255, 255));
        }
        EXPECT_EQ(std::tuple(litBytes(), host.repaints, console.image().imageshown),
                  std::tuple(3 * depth / 8, 1, true));
    }
}

// A reception has begun: only the array that exists is drawn, centred.
TEST_F(RenderTest, ShowsOnlyTheArrayThatExists) {
    setImage(320, 200);
    // A summed 10 x 5 image of 200 whose rows are in; its track row is still to come.
    console.mnudownloadlight_Click();
    receive(headerFrame({.flags = 6, .height = 5, .width = 10, .firstrow = 0, .numexposures = 2}));
    for (int y = 1; y <= 5; ++y) receive(rawRow(std::vector<std::uint16_t>(10, 200)));
    console.showimage();
    const ImageRecord& r = console.image();
    EXPECT_EQ(std::tuple(r.xoffset, r.yoffset, litBytes(), surfaceByte(155, 97)),
              std::tuple(155, 97, 10L * 5 * 4, 200));
    host.bitsPerPixel = 16;  // drawn pixel by pixel, centred the same
    console.showimage();
    EXPECT_EQ((std::pair<int, int>(r.xoffset, r.yoffset)), std::pair(155, 97));

    // A range of 0, as a file may hold, keeps the previous picture.
    const auto before = host.surface;
    const int repaints = host.repaints;
    std::string file = "QTX Image\n\rHeight = 1\n\rWidth = 1\n\rRange = 0\n\rEnd\n\r";
    file.resize(2048 + 2, ' ');
    TempDir::write(tmp.path("zero.QTX"), file);
    host.fileAnswers.push_back(tmp.path("zero.QTX"));
    console.mnuload_Click();
    ASSERT_EQ(console.image().range, 0);
    host.texts.clear();
    console.showimage();
    EXPECT_TRUE(host.surface == before && host.texts.empty() && host.repaints == repaints);
}

using ProbeTest = RenderTest;

TEST_F(ProbeTest, ReportsThePixelUnderThePointer) {
    console.Picdata_MouseMove(0, 0, 100.0, 80.0);  // before the first picture: nothing
    EXPECT_EQ(host.pointerChanges, 0);
    setImage(200, 100, {{{1, 1}, 40000}, {{12, 34}, 1530}});

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

#include "image/contrast.hpp"

#include <limits>

#include "console_fixture.hpp"

namespace qtx::test {
namespace {

// An array of w x h pixels: the first `count` hold `a`, the rest `b`.
PixelArray pixelsOf(int w, int h, int count, std::uint16_t a, std::uint16_t b) {
    PixelArray p;
    p.resize(static_cast<std::int16_t>(w), static_cast<std::int16_t>(h));
    for (std::size_t i = 0; i < p.cells.size(); ++i)
        p.cells[i] = static_cast<int>(i) < count ? a : b;
    return p;
}

TEST(AutoContrast, LevelsFromTheHistogram) {
    const struct {
        const char* name;
        PixelArray pixels;
        int width, height;
        std::int32_t background, range;
    } cases[] = {
        {"all 1000: both walks stop in bin 15", pixelsOf(320, 200, 0, 0, 1000), 320, 200, 884, 128},
        {"a fifth exactly is not more than a fifth", pixelsOf(320, 200, 12800, 128, 640), 320, 200,
         564, 128},
        {"one more than a fifth", pixelsOf(320, 200, 12801, 128, 640), 320, 200, 13, 512},
        {"bin 0 holds more than a fifth: -64, then 0", pixelsOf(10, 10, 30, 10, 6400), 10, 10, 0,
         6400},
        {"a large range lowers black by a tenth", pixelsOf(10, 10, 50, 6400, 11520), 10, 10, 5824,
         5120},
        {"the top bin", pixelsOf(2, 2, 0, 0, 65535), 2, 2, 65396, 128},
        {"no image", PixelArray{}, 0, 0, 65524, 128},
        // A reception has begun: the record names 320 x 200, the array holds 10 x 10.
        {"array smaller than the image", pixelsOf(10, 10, 0, 0, 1000), 320, 200, 884, 128},
    };
    for (const auto& c : cases) {
        const ContrastLevels levels = autoContrastLevels(c.pixels, c.width, c.height);
        EXPECT_EQ(levels.background, c.background) << c.name;
        EXPECT_EQ(levels.range, c.range) << c.name;
    }
}

class ContrastTest : public ConsoleTest {
  protected:
    void SetUp() override {
        ConsoleTest::SetUp();
        auto& r = console.record;
        r.imagedata.resize(20, 10);
        for (auto& cell : r.imagedata.cells) cell = 1000;
        r.imagewidth = 20;
        r.imageheight = 10;
    }
};

TEST_F(ContrastTest, AutoContrastSetsLevelsAndRedraws) {
    console.mnuautocontrast_Click();
    EXPECT_EQ(console.record.background, 884);
    EXPECT_EQ(console.record.range, 128);
    EXPECT_EQ(host.repaints, 1);
    EXPECT_EQ(host.text(TextBox::PCtext), "Background = 884\r\nRange = 128");
    // The dialog then opens with the current values and their leading blank.
    console.mnucontrast_Click();
    ASSERT_EQ(host.contrastShown.size(), 1U);
    EXPECT_EQ(host.contrastShown[0].background, " 884");
    EXPECT_EQ(host.contrastShown[0].range, " 128");
    EXPECT_EQ(host.histogramsShown[0], (Histogram{1000, 1, {200}}));
}

TEST_F(ContrastTest, AdjustContrastByWhatTheBoxesHold) {
    constexpr auto kMin = std::numeric_limits<std::int32_t>::min();
    constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
    const struct {
        const char* name;
        ContrastTexts typed;
        std::int32_t background, range;
        bool redrawn;
    } cases[] = {
        {"both typed", {"-200", "3000"}, -200, 3000, true},
        {"closed with the window button", {"", ""}, 884, 128, false},
        {"background emptied", {"", "3000"}, 884, 128, false},
        {"range emptied: background only, no redraw", {"-200", ""}, -200, 128, false},
        {"halves go to even", {"12.5", "13.5"}, 12, 14, true},
        {"blanks around", {"  7 ", " 300  "}, 7, 300, true},
        {"32-bit ends", {"-2147483648", "2147483647"}, kMin, kMax, true},
        {"not a number keeps the old level", {"abc", "12abc"}, 884, 128, true},
        {"beyond 32 bits keeps the old level", {"2147483648", "-1e12"}, 884, 128, true},
        {"a range of 0 keeps the old range", {"500", "0"}, 500, 128, true},
        {"a range rounding to 0 too", {"500", "0.4"}, 500, 128, true},
    };
    for (const auto& c : cases) {
        console.record.background = 884;
        console.record.range = 128;
        const int repaints = host.repaints;
        host.contrastAnswers.push_back(c.typed);
        console.mnucontrast_Click();
        EXPECT_EQ(console.record.background, c.background) << c.name;
        EXPECT_EQ(console.record.range, c.range) << c.name;
        EXPECT_EQ(host.repaints - repaints, c.redrawn ? 1 : 0) << c.name;
    }
}

}  // namespace
}  // namespace qtx::test

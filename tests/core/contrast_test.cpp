#include "image/contrast.hpp"

#include <utility>

#include "console_fixture.hpp"
#include "image/histogram.hpp"

namespace qtx::test {
namespace {

// The first `count` pixels of a w x h array hold `a`, the rest `b`.
PixelArray twoLevels(int w, int h, int count, std::uint16_t a, std::uint16_t b) {
    PixelArray p;
    p.resize(static_cast<std::int16_t>(w), static_cast<std::int16_t>(h));
    for (std::size_t i = 0; i < p.cells.size(); ++i) p.cells[i] = std::cmp_less(i, count) ? a : b;
    return p;
}

TEST(AutoContrast, LevelsFromTheHistogram) {
    const struct {
        PixelArray pixels;
        int width, height;
        std::int32_t background, range;
    } cases[] = {
        {twoLevels(320, 200, 12800, 128, 640), 320, 200, 564, 128},  // a fifth is not more
        {twoLevels(320, 200, 12801, 128, 640), 320, 200, 13, 512},
        {twoLevels(10, 10, 30, 10, 6400), 10, 10, 0, 6400},  // black -64, then 0
        {twoLevels(10, 10, 50, 6400, 11520), 10, 10, 5824, 5120},
        {twoLevels(10, 10, 99, 640, 6400), 10, 10, 0, 5760},  // the top 1 % is one pixel
        {twoLevels(2, 2, 0, 0, 65535), 2, 2, 65396, 128},     // the top bin
        {PixelArray{}, 0, 0, 65524, 128},
        // A reception has begun: the record names 320 x 200, the array holds 10 x 10.
        {twoLevels(10, 10, 0, 0, 1000), 320, 200, 884, 128},
    };
    for (const auto& c : cases) {
        const ContrastLevels levels = autoContrastLevels(c.pixels, c.width, c.height);
        EXPECT_EQ(std::pair(levels.background, levels.range), std::pair(c.background, c.range));
    }
}

TEST(ContrastMarks, OnlyForLevelsThatDrawAPicture) {
    EXPECT_EQ(typedContrastMarks("100", "50"), (ContrastMarks{100, 150}));
    EXPECT_EQ(typedContrastMarks("100", "0"), std::nullopt);
    EXPECT_EQ(typedContrastMarks("x", "50"), std::nullopt);
}

using ContrastTest = ConsoleTest;

// Both boxes emptied is the window closed; a range rounding to 0 has no picture.
TEST_F(ContrastTest, AutoThenAdjustedByWhatTheBoxesHold) {
    const struct {
        ContrastTexts typed;
        std::int32_t background, range;
        bool redrawn;
    } cases[] = {
        {{"-200", "3000"}, -200, 3000, true},      {{"", ""}, 884, 128, false},
        {{"", "3000"}, 884, 128, false},           {{"-200", ""}, -200, 128, false},
        {{" 12.5 ", "13.5"}, 12, 14, true},        {{"abc", "12abc"}, 884, 128, true},
        {{"2147483648", "-1e12"}, 884, 128, true}, {{"500", "0.4"}, 500, 128, true},
    };
    holdImage(20, 10, [](int, int) { return 1000; });
    const ImageRecord& r = console.image();
    console.mnuautocontrast_Click();
    EXPECT_EQ(std::tuple(r.background, r.range, host.repaints), std::tuple(884, 128, 1));
    for (const auto& c : cases) {
        const int repaints = host.repaints;
        host.contrastAnswers.push_back(c.typed);
        console.mnucontrast_Click();
        EXPECT_EQ(std::tuple(r.background, r.range, host.repaints - repaints),
                  std::tuple(c.background, c.range, c.redrawn ? 1 : 0))
            << c.typed.background << "/" << c.typed.range;
        console.mnuautocontrast_Click();  // 884 and 128 again
    }
    // The dialog opens with the levels held, a blank before them, and the image's histogram.
    EXPECT_EQ(host.contrastShown[0].background + host.contrastShown[0].range, " 884 128");
    EXPECT_EQ(host.histogramsShown[0], (Histogram{1000, 1, {200}}));
}

}  // namespace
}  // namespace qtx::test

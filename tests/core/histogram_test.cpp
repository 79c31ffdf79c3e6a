#include "image/histogram.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <utility>
#include <vector>

namespace qtx::test {
namespace {

PixelArray pixelsOf(int w, int h, std::vector<std::uint16_t> values) {
    PixelArray p;
    p.resize(static_cast<std::int16_t>(w), static_cast<std::int16_t>(h));
    p.cells = std::move(values);
    return p;
}

// `n` bins, empty but for the first and the last.
std::vector<std::int32_t> ends(std::size_t n, int first, int last) {
    std::vector<std::int32_t> counts(n, 0);
    counts.front() = first;
    counts.back() = last;
    return counts;
}

TEST(Histogram, CountsInBinsFromTheSmallestToTheLargestValue) {
    const struct {
        PixelArray pixels;
        int width, height;
        Histogram expected;
    } cases[] = {
        {pixelsOf(2, 2, {1003, 1000, 1001, 1000}), 2, 2, {1000, 1, {2, 1, 0, 1}}},
        {pixelsOf(3, 1, {7, 7, 7}), 3, 1, {7, 1, {3}}},
        {pixelsOf(2, 1, {100, 356}), 2, 1, {100, 2, ends(129, 1, 1)}},  // 257 values
        {pixelsOf(3, 1, {65535, 0, 255}), 3, 1, {0, 256, ends(256, 2, 1)}},
        // A reception has begun: the record names 320 x 200, the array holds 2 x 1.
        {pixelsOf(2, 1, {5, 6}), 320, 200, {5, 1, {1, 1}}},
        {pixelsOf(2, 2, {5, 9, 6, 9}), 1, 2, {5, 1, {1, 1}}},  // only the part the record names
        {PixelArray{}, 0, 0, {}},
        {pixelsOf(1, 1, {5}), 0, 1, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(pixelHistogram(c.pixels, c.width, c.height), c.expected) << c.width;
    }
}

TEST(Histogram, MarksAndBarsAcrossTheDrawing) {
    // Values 1000..1255 in 256 bins one wide, drawn 512 units wide: two units a value.
    const Histogram h{1000, 1, std::vector<std::int32_t>(256, 1)};
    const struct {
        std::int64_t value;
        HistogramMark expected;
    } marks[] = {
        {1000, {0.0, 0}}, {1001, {2.0, 0}},   {1128, {256.0, 0}}, {1256, {512.0, 0}},
        {999, {0.0, -1}}, {1257, {512.0, 1}}, {-200, {0.0, -1}},  {70000, {512.0, 1}},
    };
    for (const auto& m : marks) EXPECT_EQ(histogramMark(h, m.value, 512), m.expected) << m.value;
    EXPECT_EQ(histogramMark(Histogram{}, 5, 512), (HistogramMark{0.0, 0}));

    // Log scale: the largest count is full height, a single pixel still shows, none is flat.
    EXPECT_DOUBLE_EQ(logBarHeight(1000, 1000, 100), 100);
    EXPECT_NEAR(logBarHeight(1, 1000, 100), 10.03, 0.01);
    EXPECT_EQ(logBarHeight(0, 1000, 100), 0);
    EXPECT_EQ(logBarHeight(0, 0, 100), 0);
}

// How a typed text becomes a level is pinned through the dialog in contrast_test.cpp.
TEST(Histogram, MarksOnlyWhileBothBoxesHoldALevel) {
    EXPECT_EQ(typedContrastMarks(" 884", "-128"), (ContrastMarks{884, 756}));
    EXPECT_EQ(typedContrastMarks("2147483647", "2147483647"),
              (ContrastMarks{2147483647, 4294967294}));
    for (const auto& [background, range] : {std::pair{"", "128"}, {"884", "x"}, {"884", "0.4"}}) {
        EXPECT_EQ(typedContrastMarks(background, range), std::nullopt) << background << range;
    }
}

}  // namespace
}  // namespace qtx::test

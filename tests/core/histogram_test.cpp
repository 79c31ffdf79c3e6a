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

// `n` bins, empty but for the ones named.
std::vector<std::int32_t> bins(std::size_t n, std::vector<std::pair<std::size_t, int>> filled) {
    std::vector<std::int32_t> counts(n, 0);
    for (const auto& [bin, count] : filled) counts[bin] = count;
    return counts;
}

TEST(Histogram, CountsInBinsFromTheSmallestToTheLargestValue) {
    const struct {
        const char* name;
        PixelArray pixels;
        int width, height;
        Histogram expected;
    } cases[] = {
        {"a bin a value", pixelsOf(2, 2, {1003, 1000, 1001, 1000}), 2, 2, {1000, 1, {2, 1, 0, 1}}},
        {"one value: one bin", pixelsOf(3, 1, {7, 7, 7}), 3, 1, {7, 1, {3}}},
        {"257 values", pixelsOf(2, 1, {100, 356}), 2, 1, {100, 2, bins(129, {{0, 1}, {128, 1}})}},
        {"16 bits", pixelsOf(3, 1, {65535, 0, 255}), 3, 1, {0, 256, bins(256, {{0, 2}, {255, 1}})}},
        // A reception has begun: the record names 320 x 200, the array holds 2 x 1.
        {"array smaller than the image", pixelsOf(2, 1, {5, 6}), 320, 200, {5, 1, {1, 1}}},
        {"only the part the record names", pixelsOf(2, 2, {5, 9, 6, 9}), 1, 2, {5, 1, {1, 1}}},
        {"no image", PixelArray{}, 0, 0, {}},
        {"no columns named", pixelsOf(1, 1, {5}), 0, 1, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(pixelHistogram(c.pixels, c.width, c.height), c.expected) << c.name;
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
    EXPECT_NEAR(logBarHeight(31, 1000, 100), 50.16, 0.01);
    EXPECT_EQ(logBarHeight(0, 1000, 100), 0);
    EXPECT_EQ(logBarHeight(0, 0, 100), 0);
}

TEST(Histogram, MarksOnlyWhileBothBoxesHoldALevel) {
    const struct {
        const char* background;
        const char* range;
        std::optional<ContrastMarks> expected;
    } cases[] = {
        {" 884", " 128", ContrastMarks{884, 1012}},
        {"-200", "3000", ContrastMarks{-200, 2800}},
        {"12.5", "13.5", ContrastMarks{12, 26}},
        {"  7 ", "-300", ContrastMarks{7, -293}},
        {"2147483647", "2147483647", ContrastMarks{2147483647, 4294967294}},
        {"", "128", std::nullopt},
        {"884", "", std::nullopt},
        {"abc", "128", std::nullopt},
        {"884", "12abc", std::nullopt},
        {"884", "0.4", std::nullopt},  // a range of 0 shows no picture
        {"2147483648", "128", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(typedContrastMarks(c.background, c.range), c.expected)
            << c.background << " / " << c.range;
    }
}

}  // namespace
}  // namespace qtx::test

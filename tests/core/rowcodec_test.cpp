#include "link/rowcodec.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace qtx {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Pixels = std::vector<std::uint16_t>;

struct RowCase {
    const char* name;
    Bytes payload;
    Pixels expected;  // width = expected.size()
};

TEST(CompressedRow, TokensDecodeToCells) {
    const RowCase cases[] = {
        {"small add", {0x10, 0x00, 0x05}, {16, 21}},
        {"small subtract", {0x10, 0x00, 0x7F}, {16, 15}},
        {"-64", {0x10, 0x00, 0x40}, {16, 65488}},
        {"largest add", {0x10, 0x00, 0x9F, 0xFF}, {16, 8207}},
        {"largest subtract", {0x10, 0x27, 0xA0, 0x00}, {10000, 1808}},
        {"set", {0x10, 0x00, 0xC1, 0x00}, {16, 1024}},
        {"set to the top", {0x00, 0x00, 0xFF, 0xFF}, {0, 65532}},
        {"first pixel 40000 and deltas from it",
         {0x40, 0x9C, 0x01, 0x7F, 0x80, 0x10},
         {40000, 40001, 40000, 40016}},
        // Only the low 16 bits are kept; the running value goes on beyond them.
        {"above 65535", {0x00, 0x00, 0xFF, 0xFF, 0x3F, 0x7F}, {0, 65532, 59, 58}},
        {"below 0 and back", {0x00, 0x00, 0x7F, 0x01, 0xBF, 0xFF, 0x01}, {0, 65535, 0, 65535, 0}},
        {"one pixel", {0x34, 0x12}, {0x1234}},
        {"tokens after the last pixel are ignored", {0x01, 0x00, 0x02, 0x03, 0x04}, {1, 3}},
    };
    for (const RowCase& c : cases) {
        Pixels out(c.expected.size(), 0xAAAA);
        EXPECT_TRUE(
            decodeCompressedRow(c.payload, static_cast<std::int32_t>(c.expected.size()), out))
            << c.name;
        EXPECT_EQ(out, c.expected) << c.name;
    }
}

TEST(CompressedRow, RowEndingBeforeItsLastPixelIsDamaged) {
    const struct {
        const char* name;
        Bytes payload;
        int width;
    } cases[] = {
        {"empty", {}, 1},
        {"half a first word", {0x05}, 1},
        {"a token short", {0x05, 0x00, 0x01}, 3},
        {"second byte of a delta missing", {0x05, 0x00, 0x01, 0x85}, 3},
        {"second byte of a set missing", {0x05, 0x00, 0xC0}, 2},
    };
    for (const auto& c : cases) {
        Pixels out(static_cast<std::size_t>(c.width));
        EXPECT_FALSE(decodeCompressedRow(c.payload, c.width, out)) << c.name;
    }
    // Nothing to decode needs nothing.
    EXPECT_TRUE(decodeCompressedRow({}, 0, {}));
}

TEST(CompressedRow, KeepsOnlyTheCellsAskedForButChecksTheWholeRow) {
    const Bytes payload{0x0A, 0x00, 0x01, 0x01, 0x01};
    Pixels out(2);
    EXPECT_TRUE(decodeCompressedRow(payload, 4, out));
    EXPECT_EQ(out, (Pixels{10, 11}));
    EXPECT_FALSE(decodeCompressedRow(payload, 5, out));
}

TEST(RawRow, WordsLowByteFirstBoundedByThePayload) {
    Pixels out(3);
    EXPECT_TRUE(readRawRow(Bytes{0x40, 0x9C, 0x01, 0x00, 0xFF, 0xFF, 0x77}, 3, out));
    EXPECT_EQ(out, (Pixels{40000, 1, 65535}));
    EXPECT_FALSE(readRawRow(Bytes{0x40, 0x9C, 0x01, 0x00, 0xFF}, 3, out));
    Pixels two(2);
    EXPECT_TRUE(readRawRow(Bytes{1, 0, 2, 0, 3, 0}, 3, two));
    EXPECT_EQ(two, (Pixels{1, 2}));
}

}  // namespace
}  // namespace qtx

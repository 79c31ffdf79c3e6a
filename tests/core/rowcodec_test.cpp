#include "link/rowcodec.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace qtx {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Pixels = std::vector<std::uint16_t>;

// `expected` holds every pixel of a whole row; empty, the row is damaged.
TEST(CompressedRow, TokensDecodeToCellsOrTheRowIsDamaged) {
    const struct {
        Bytes payload;
        int width;
        Pixels expected;
    } cases[] = {
        {{0x10, 0x00, 0x05}, 2, {16, 21}},
        {{0x10, 0x00, 0x7F}, 2, {16, 15}},
        {{0x10, 0x00, 0x40}, 2, {16, 65488}},          // -64
        {{0x10, 0x00, 0x9F, 0xFF}, 2, {16, 8207}},     // the largest add
        {{0x10, 0x27, 0xA0, 0x00}, 2, {10000, 1808}},  // the largest subtract
        {{0x10, 0x00, 0xC1, 0x00}, 2, {16, 1024}},     // set
        {{0x00, 0x00, 0xFF, 0xFF}, 2, {0, 65532}},     // set to the top
        {{0x40, 0x9C, 0x01, 0x7F, 0x80, 0x10}, 4, {40000, 40001, 40000, 40016}},
        // Only the low 16 bits are kept; the running value goes on beyond them.
        {{0x00, 0x00, 0xFF, 0xFF, 0x3F, 0x7F}, 4, {0, 65532, 59, 58}},
        {{0x00, 0x00, 0x7F, 0x01, 0xBF, 0xFF, 0x01}, 5, {0, 65535, 0, 65535, 0}},
        {{0x01, 0x00, 0x02, 0x03, 0x04}, 2, {1, 3}},  // tokens after the last pixel
        {{}, 1, {}},
        {{0x05}, 1, {}},
        {{0x05, 0x00, 0x01}, 3, {}},
        {{0x05, 0x00, 0x01, 0x85}, 3, {}},  // the second byte of a delta missing
        {{0x05, 0x00, 0xC0}, 2, {}},        // the second byte of a set missing
    };
    for (const auto& c : cases) {
        Pixels out(static_cast<std::size_t>(c.width), 0xAAAA);
        EXPECT_EQ(decodeCompressedRow(c.payload, c.width, out), !c.expected.empty()) << c.width;
        if (!c.expected.empty()) {
            EXPECT_EQ(out, c.expected);
        }
    }
    // Only the cells asked for are kept, yet the whole row is checked.
    Pixels two(2);
    EXPECT_TRUE(decodeCompressedRow(Bytes{0x0A, 0x00, 0x01, 0x01, 0x01}, 4, two));
    EXPECT_EQ(two, (Pixels{10, 11}));
    EXPECT_TRUE(decodeCompressedRow({}, 0, {}) && decodeCompressedRow(Bytes{0x34, 0x12}, 1, {}));
}

TEST(RawRow, WordsLowByteFirstBoundedByThePayload) {
    Pixels out(2);
    EXPECT_TRUE(readRawRow(Bytes{0x40, 0x9C, 0xFF, 0xFF, 0x01, 0x00, 0x77}, 3, out));
    EXPECT_EQ(out, (Pixels{40000, 65535}));
    EXPECT_FALSE(readRawRow(Bytes{0x40, 0x9C, 0x01, 0x00, 0xFF}, 3, out));
}

}  // namespace
}  // namespace qtx

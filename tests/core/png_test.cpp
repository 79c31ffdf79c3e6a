// PNG files of grey pictures, by their bytes.
#include <gtest/gtest.h>

#include <vector>

#include "image/grey_png.hpp"

namespace qtx {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(GreyPng, ChunksStoredRowsAndChecksums) {
    const Bytes tiny = encodeGreyPng(Bytes{0, 255, 128, 7}, 2, 2);  // top row first
    const Bytes expected{
        0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A,        // signature
        0x00, 0x00, 0x00, 0x0D, 'I',  'H',  'D',  'R',         // 13 bytes of IHDR
        0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x02,        // 2 x 2
        0x08, 0x00, 0x00, 0x00, 0x00, 0x57, 0xDD, 0x52, 0xF8,  // 8-bit grey, CRC
        0x00, 0x00, 0x00, 0x11, 'I',  'D',  'A',  'T',         // 17 bytes of IDAT
        0x78, 0x01, 0x01, 0x06, 0x00, 0xF9, 0xFF,              // zlib, last stored block of 6
        0x00, 0x00, 0xFF, 0x00, 0x80, 0x07,                    // rows, each after filter 0
        0x05, 0x09, 0x01, 0x87, 0x07, 0x4D, 0x3B, 0x8F,        // Adler-32, CRC
        0x00, 0x00, 0x00, 0x00, 'I',  'E',  'N',  'D',  0xAE, 0x42, 0x60, 0x82,
    };
    EXPECT_EQ(tiny, expected);

    // 256 x 256 with filter bytes is 65792 bytes: one full stored block and one of 257.
    const Bytes large = encodeGreyPng({}, 256, 256);
    ASSERT_EQ(large.size(), 33U + 12 + 65808 + 12);
    EXPECT_EQ(Bytes(large.begin() + 33, large.begin() + 48),
              (Bytes{0x00, 0x01, 0x01, 0x10, 'I', 'D', 'A', 'T', 0x78, 0x01, 0x00, 0xFF, 0xFF, 0x00,
                     0x00}));
    EXPECT_EQ(Bytes(large.begin() + 43 + 5 + 65535, large.begin() + 43 + 10 + 65535),
              (Bytes{0x01, 0x01, 0x01, 0xFE, 0xFE}));
}

}  // namespace
}  // namespace qtx

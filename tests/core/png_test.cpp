// PNG files of grey pictures: the chunks and header by their bytes, the pixels as libpng
// reads them back (the compressed bytes are libpng's to choose).
#include <gtest/gtest.h>
#include <png.h>

#include <string>
#include <vector>

#include "image/grey_png.hpp"

namespace qtx {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The pixels of an 8-bit grey file, top row first; empty when libpng cannot read it as one.
Bytes decoded(const Bytes& file, png_uint_32 width, png_uint_32 height) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, file.data(), file.size())) return {};
    Bytes pixels(PNG_IMAGE_SIZE(image));
    const bool read = image.format == PNG_FORMAT_GRAY && image.width == width &&
                      image.height == height &&
                      png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr);
    png_image_free(&image);
    return read ? pixels : Bytes{};
}

// The types of the chunks after the signature, one after the other.
std::string chunkTypes(const Bytes& file) {
    std::string types;
    for (std::size_t at = 8; at + 12 <= file.size();) {
        const std::size_t length = (std::size_t{file[at]} << 24) | (file[at + 1] << 16) |
                                   (file[at + 2] << 8) | file[at + 3];
        types += std::string(file.begin() + at + 4, file.begin() + at + 8) + " ";
        at += 12 + length;
    }
    return types;
}

TEST(GreyPng, HeaderChunksAndPixels) {
    const Bytes tiny = encodeGreyPng(Bytes{0, 255, 128, 7}, 2, 2);  // top row first
    const Bytes header{
        0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A,        // signature
        0x00, 0x00, 0x00, 0x0D, 'I',  'H',  'D',  'R',         // 13 bytes of IHDR
        0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x02,        // 2 x 2
        0x08, 0x00, 0x00, 0x00, 0x00, 0x57, 0xDD, 0x52, 0xF8,  // 8-bit grey, CRC
    };
    const Bytes end{0x00, 0x00, 0x00, 0x00, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
    ASSERT_GT(tiny.size(), header.size() + end.size());
    EXPECT_EQ(Bytes(tiny.begin(), tiny.begin() + 33), header);
    EXPECT_EQ(Bytes(tiny.end() - 12, tiny.end()), end);
    EXPECT_EQ(chunkTypes(tiny), "IHDR IDAT IEND ");
    EXPECT_EQ(decoded(tiny, 2, 2), (Bytes{0, 255, 128, 7}));

    // Levels that run out leave the rest black. A full frame, compressed: a frame of few
    // levels takes a fraction of its 64000 pixels.
    Bytes levels(320 * 200 - 5);
    for (std::size_t i = 0; i < levels.size(); ++i) levels[i] = static_cast<std::uint8_t>(i % 7);
    const Bytes frame = encodeGreyPng(levels, 320, 200);
    levels.resize(320 * 200, 0);
    EXPECT_EQ(decoded(frame, 320, 200), levels);
    EXPECT_LT(frame.size(), 2000U);
    EXPECT_EQ(decoded(encodeGreyPng({}, 0, -3), 1, 1), Bytes{0});  // at least 1 x 1
}

}  // namespace
}  // namespace qtx

#include "image/grey_bitmap.hpp"

#include <algorithm>

#include "link/le16.hpp"

namespace qtx {

namespace {

constexpr std::uint32_t kFileHeaderBytes = 14;
constexpr std::uint32_t kInfoHeaderBytes = 40;
constexpr std::uint32_t kPaletteBytes = 256 * 4;
constexpr std::uint32_t kRowsAt = kFileHeaderBytes + kInfoHeaderBytes + kPaletteBytes;

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    appendLe16(out, static_cast<std::uint16_t>(v & 0xFFFF));
    appendLe16(out, static_cast<std::uint16_t>(v >> 16));
}

}  // namespace

std::vector<std::uint8_t> encodeGreyBitmap(std::span<const std::uint8_t> greys,
                                           std::int32_t columns, std::int32_t rows) {
    const auto width = static_cast<std::uint32_t>(std::max(0, columns));
    const auto height = static_cast<std::uint32_t>(std::max(0, rows));
    const std::uint32_t stride = (width + 3) / 4 * 4;
    const std::uint32_t rowBytes = stride * height;

    std::vector<std::uint8_t> out;
    out.reserve(kRowsAt + rowBytes);
    out.push_back('B');
    out.push_back('M');
    put32(out, kRowsAt + rowBytes);
    put32(out, 0);  // two reserved words
    put32(out, kRowsAt);

    put32(out, kInfoHeaderBytes);
    put32(out, width);
    put32(out, height);
    appendLe16(out, 1);  // planes
    appendLe16(out, 8);  // bits a pixel
    put32(out, 0);       // no compression
    put32(out, rowBytes);
    put32(out, 0);  // pixels a metre across and down: not stated
    put32(out, 0);
    put32(out, 256);  // colours used
    put32(out, 0);    // all of them important

    for (std::uint32_t g = 0; g < 256; ++g) {
        const auto level = static_cast<std::uint8_t>(g);
        out.insert(out.end(), {level, level, level, 0});
    }

    // A picture that holds fewer levels than its size says is black where they run out.
    for (std::uint32_t y = height; y-- > 0;) {
        const std::size_t first = static_cast<std::size_t>(y) * width;
        for (std::uint32_t x = 0; x < width; ++x) {
            out.push_back(first + x < greys.size() ? greys[first + x] : 0);
        }
        out.resize(out.size() + (stride - width), 0);
    }
    return out;
}

}  // namespace qtx

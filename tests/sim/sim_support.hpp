// Helpers for the simulator tests, written independently of the code under test.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "console/code_image.hpp"
#include "console/crc16.hpp"
#include "model/qtx_model.hpp"
#include "test_frames.hpp"

namespace qtx::sim::test {

using Bytes = std::vector<std::uint8_t>;
using namespace qtx::test;  // frame builders and golden frames

inline Bytes word(unsigned v) {
    return {static_cast<std::uint8_t>(v & 0xFF), static_cast<std::uint8_t>(v >> 8)};
}

inline Bytes keyFrame(unsigned code) { return frameOf(8, word(code)); }

inline Bytes rowRequest(std::uint8_t code, unsigned row, unsigned column, unsigned width,
                        unsigned buffer) {
    return frameOf(
        code, word(row) + word(column) + word(width) + Bytes{static_cast<std::uint8_t>(buffer), 0});
}

// A code image the QTX will take: random code, its CRC stored high byte first.
inline Bytes goodCodeImage(std::uint64_t seed) {
    Rng rng(seed);
    Bytes image(kCodeBytes);
    for (auto& b : image) b = static_cast<std::uint8_t>(rng.next() & 0xFF);
    const std::uint16_t crc = crc16(std::span(image).first(kCodeChecked));
    image[kCodeBytes - 2] = static_cast<std::uint8_t>(crc >> 8);
    image[kCodeBytes - 1] = static_cast<std::uint8_t>(crc & 0xFF);
    return image;
}

}  // namespace qtx::sim::test

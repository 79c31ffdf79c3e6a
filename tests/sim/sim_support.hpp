// Helpers for the simulator tests, written independently of the code under test.
#pragma once

#include "model/qtx_model.hpp"
#include "test_frames.hpp"
#include "upload/code_image.hpp"
#include "upload/crc16.hpp"

namespace qtx::sim::test {

using namespace qtx::test;  // frame builders and golden frames

inline Bytes keyFrame(std::uint16_t code) { return frameOf(8, wordBytes({code})); }

inline Bytes rowRequest(std::uint8_t code, std::uint16_t row, std::uint16_t column,
                        std::uint16_t width, std::uint16_t buffer) {
    return frameOf(code, wordBytes({row, column, width, buffer}));
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

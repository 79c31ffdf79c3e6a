// Pixel rows as the link carries them in MSG_ROW_RAW and MSG_ROW payloads.
//
// Raw row: one 16-bit little-endian word per column, column 1 first.
//
// Compressed row:
//   bytes 0-1   first pixel, 16-bit little-endian; it starts the running value v
//   then one token per further pixel, told by its first byte b:
//     0x00-0x3F   1 byte    v += b
//     0x40-0x7F   1 byte    v += b - 128                    (-64..-1)
//     0x80-0xBF   2 bytes   d = (b - 0x80) * 256 + next; d >= 0x2000: d -= 0x4000; v += d
//     0xC0-0xFF   2 bytes   v = ((b - 0xC0) * 256 + next) * 4   (0..65532)
//   every pixel is the low 16 bits of v.
//
// Both readers are bounded by the payload they are given: a row that ends before its last
// pixel is damaged and must be requested again.
#pragma once

#include <cstdint>
#include <span>

namespace qtx {

// Decodes a compressed row of `width` pixels and stores the first out.size() of them (the
// record may keep fewer columns than the row carries; out must not be longer than width).
// False when the payload ends before the last pixel; `out` then holds no meaningful row.
bool decodeCompressedRow(std::span<const std::uint8_t> payload, std::int32_t width,
                         std::span<std::uint16_t> out);

// Reads a raw row of `width` words and stores the first out.size() of them. False when the
// payload holds fewer than `width` words.
bool readRawRow(std::span<const std::uint8_t> payload, std::int32_t width,
                std::span<std::uint16_t> out);

}  // namespace qtx

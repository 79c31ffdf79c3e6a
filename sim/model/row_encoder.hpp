// The row code of the serial link, device side. A row is its first pixel as a
// little-endian word, then one token per further pixel:
//
//   0x00-0x3F          1 byte   add 0..63
//   0x40-0x7F          1 byte   add b - 128 (-64..-1)
//   0x80-0xBF  lo      2 bytes  add d, d = (b - 0x80) * 256 + lo, minus 0x4000 when >= 0x2000
//   0xC0-0xFF  lo      2 bytes  set the value to ((b - 0xC0) * 256 + lo) * 4
//
// Every token sets exactly one pixel, so a set token is exact only for a multiple of 4.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace qtx::sim {

// Counts of each token kind in an encoded row (for the tests and the log).
struct TokenCounts {
    std::size_t smallUp = 0;    // 0x00-0x3F
    std::size_t smallDown = 0;  // 0x40-0x7F
    std::size_t delta = 0;      // 0x80-0xBF
    std::size_t set = 0;        // 0xC0-0xFF
};

// The compressed row, or nothing when the row cannot be carried exactly: a step of more
// than 8191 up or 8192 down onto a value that is not a multiple of 4. The caller then
// sends the row uncompressed rather than a wrong pixel. An empty row gives nothing too.
std::optional<std::vector<std::uint8_t>> encodeRow(std::span<const std::uint16_t> pixels,
                                                   TokenCounts* counts = nullptr);

// The row as little-endian words, column 1 first.
std::vector<std::uint8_t> rawRow(std::span<const std::uint16_t> pixels);

}  // namespace qtx::sim

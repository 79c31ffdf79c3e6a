// 16-bit words low byte first, the byte order of every word on the link and in the files:
//
//   byte at       bits 0-7
//   byte at + 1   bits 8-15
//
// The caller has checked that both bytes are there.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace qtx {

constexpr std::uint16_t le16(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

constexpr void putLe16(std::span<std::uint8_t> bytes, std::size_t at, std::uint16_t value) {
    bytes[at] = static_cast<std::uint8_t>(value & 0xFF);
    bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

inline void appendLe16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

}  // namespace qtx

#include "upload/crc16.hpp"

namespace qtx {

namespace {

constexpr std::uint16_t kPolynomial = 0x1021;

constexpr std::array<std::uint16_t, 256> makeTable() {
    std::array<std::uint16_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i << 8;
        for (int k = 0; k < 8; ++k) c = (c & 0x8000U) != 0 ? (c << 1) ^ kPolynomial : c << 1;
        table[i] = static_cast<std::uint16_t>(c & 0xFFFFU);
    }
    return table;
}

constexpr std::array<std::uint16_t, 256> kTable = makeTable();

}  // namespace

std::array<std::uint16_t, 256> crc16Table() { return kTable; }

std::uint16_t crc16(std::span<const std::uint8_t> bytes) {
    std::uint16_t crc = 0xFFFF;
    for (const std::uint8_t b : bytes) {
        crc = static_cast<std::uint16_t>((crc << 8) ^ kTable[(b ^ (crc >> 8)) & 0xFFU]);
    }
    return crc;
}

}  // namespace qtx

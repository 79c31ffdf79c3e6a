// CRC-16 of program code: polynomial 0x1021, start value 0xFFFF, most significant bit first,
// no final XOR (the parameter set known as CRC-16/CCITT-FALSE).
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace qtx {

// Entry i is the CRC register after shifting i (as the high byte) through eight steps.
std::array<std::uint16_t, 256> crc16Table();

std::uint16_t crc16(std::span<const std::uint8_t> bytes);

}  // namespace qtx

// Row readers on arbitrary payloads: never read past the payload, and agree with it.
// Input: two bytes of width (taken modulo 700), then the payload.
#include <array>
#include <vector>

#include "link/rowcodec.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::int32_t width = (data[0] | (data[1] << 8)) % 700;
    const std::span<const std::uint8_t> payload(data + 2, size - 2);
    std::array<std::uint16_t, 320> out{};
    const auto kept =
        std::span<std::uint16_t>(out).first(static_cast<std::size_t>(width < 320 ? width : 320));

    const bool whole = qtx::decodeCompressedRow(payload, width, kept);
    // Bytes after a whole row change nothing; a row cut short stays short when cut further.
    std::array<std::uint16_t, 320> again{};
    const auto keptAgain = std::span<std::uint16_t>(again).first(kept.size());
    std::vector<std::uint8_t> longer(payload.begin(), payload.end());
    longer.insert(longer.end(), 7, 0xBF);
    if (whole ? !qtx::decodeCompressedRow(longer, width, keptAgain) || again != out
              : qtx::decodeCompressedRow(payload.first(payload.size() / 2), width, keptAgain))
        __builtin_trap();
    const bool complete = width <= 0 || payload.size() / 2 >= static_cast<std::size_t>(width);
    if (qtx::readRawRow(payload, width, kept) != complete) __builtin_trap();
    return 0;
}

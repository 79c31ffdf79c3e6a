#include "model/row_encoder.hpp"

#include "link/le16.hpp"

namespace qtx::sim {

std::optional<std::vector<std::uint8_t>> encodeRow(std::span<const std::uint16_t> pixels,
                                                   TokenCounts* counts) {
    if (pixels.empty()) return std::nullopt;
    TokenCounts tally;
    std::vector<std::uint8_t> out;
    out.reserve(pixels.size() * 2);
    appendLe16(out, pixels[0]);
    // The running value always equals the previous pixel exactly, so it never leaves
    // 0..65535 and the decoder needs no wrap-around.
    std::int32_t running = pixels[0];
    for (std::size_t i = 1; i < pixels.size(); ++i) {
        const std::int32_t v = pixels[i];
        const std::int32_t d = v - running;
        if (d >= 0 && d <= 63) {
            out.push_back(static_cast<std::uint8_t>(d));
            ++tally.smallUp;
        } else if (d >= -64 && d < 0) {
            out.push_back(static_cast<std::uint8_t>(d + 128));
            ++tally.smallDown;
        } else if (d >= -8192 && d <= 8191) {
            const auto u = static_cast<std::uint16_t>(d & 0x3FFF);
            out.push_back(static_cast<std::uint8_t>(0x80 | (u >> 8)));
            out.push_back(static_cast<std::uint8_t>(u & 0xFF));
            ++tally.delta;
        } else if (v % 4 == 0) {
            const auto q = static_cast<std::uint16_t>(v / 4);
            out.push_back(static_cast<std::uint8_t>(0xC0 | (q >> 8)));
            out.push_back(static_cast<std::uint8_t>(q & 0xFF));
            ++tally.set;
        } else {
            return std::nullopt;
        }
        running = v;
    }
    if (counts) *counts = tally;
    return out;
}

std::vector<std::uint8_t> rawRow(std::span<const std::uint16_t> pixels) {
    std::vector<std::uint8_t> out;
    out.reserve(pixels.size() * 2);
    for (std::uint16_t p : pixels) appendLe16(out, p);
    return out;
}

}  // namespace qtx::sim

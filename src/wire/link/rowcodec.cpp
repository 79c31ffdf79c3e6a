#include "link/rowcodec.hpp"

#include <algorithm>

#include "link/le16.hpp"

namespace qtx {

bool decodeCompressedRow(std::span<const std::uint8_t> payload, std::int32_t width,
                         std::span<std::uint16_t> out) {
    if (width <= 0) return true;
    const std::size_t size = payload.size();
    if (size < 2) return false;
    const std::size_t kept = std::min(out.size(), static_cast<std::size_t>(width));
    // The running value is a 32-bit integer; it is added to without overflow traps (the
    // low 16 bits, which are all that is kept, come out the same).
    std::int32_t v = le16(payload, 0);
    if (kept > 0) out[0] = static_cast<std::uint16_t>(v);
    std::size_t pos = 2;
    for (std::int32_t x = 1; x < width; ++x) {
        if (pos >= size) return false;
        const std::int32_t b = payload[pos];
        if (b < 0x80) {
            const std::int32_t d = b < 0x40 ? b : b - 128;
            v = static_cast<std::int32_t>(static_cast<std::uint32_t>(v) +
                                          static_cast<std::uint32_t>(d));
            pos += 1;
        } else {
            if (pos + 1 >= size) return false;
            const std::int32_t low = payload[pos + 1];
            if (b < 0xC0) {
                std::int32_t d = (b - 0x80) * 256 + low;
                if (d >= 0x2000) d -= 0x4000;
                v = static_cast<std::int32_t>(static_cast<std::uint32_t>(v) +
                                              static_cast<std::uint32_t>(d));
            } else {
                v = ((b - 0xC0) * 256 + low) * 4;
            }
            pos += 2;
        }
        if (static_cast<std::size_t>(x) < kept)
            out[static_cast<std::size_t>(x)] = static_cast<std::uint16_t>(v);
    }
    return true;
}

bool readRawRow(std::span<const std::uint8_t> payload, std::int32_t width,
                std::span<std::uint16_t> out) {
    if (width <= 0) return true;
    if (payload.size() / 2 < static_cast<std::size_t>(width)) return false;
    const std::size_t kept = std::min(out.size(), static_cast<std::size_t>(width));
    for (std::size_t k = 0; k < kept; ++k) {
        out[k] = le16(payload, 2 * k);
    }
    return true;
}

}  // namespace qtx

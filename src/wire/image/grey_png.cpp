#include "image/grey_png.hpp"

#include <algorithm>
#include <array>

namespace qtx {

namespace {

constexpr std::size_t kStoredBlockMax = 65535;

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(v >> shift));
}

// CRC-32 of the chunks (polynomial 0xEDB88320, reflected), by a table made once.
std::uint32_t crc32(std::span<const std::uint8_t> bytes) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1U) ? 0xEDB88320U ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t crc = 0xFFFFFFFFU;
    for (const std::uint8_t b : bytes) crc = table[(crc ^ b) & 0xFFU] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFU;
}

// Adler-32 of the zlib stream: two sums modulo 65521.
std::uint32_t adler32(std::span<const std::uint8_t> bytes) {
    std::uint32_t a = 1;
    std::uint32_t b = 0;
    for (const std::uint8_t byte : bytes) {
        a = (a + byte) % 65521U;
        b = (b + a) % 65521U;
    }
    return (b << 16) | a;
}

void chunk(std::vector<std::uint8_t>& out, const char (&type)[5],
           std::span<const std::uint8_t> data) {
    put32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    put32(out, crc32(std::span(out).subspan(typeAt)));
}

}  // namespace

std::vector<std::uint8_t> encodeGreyPng(std::span<const std::uint8_t> greys, std::int32_t columns,
                                        std::int32_t rows) {
    const auto width = static_cast<std::size_t>(std::max(1, columns));
    const auto height = static_cast<std::size_t>(std::max(1, rows));

    std::vector<std::uint8_t> filtered;
    filtered.reserve(height * (width + 1));
    for (std::size_t y = 0; y < height; ++y) {
        filtered.push_back(0);  // filter type: none
        for (std::size_t x = 0; x < width; ++x) {
            const std::size_t at = y * width + x;
            filtered.push_back(at < greys.size() ? greys[at] : 0);
        }
    }

    std::vector<std::uint8_t> zlib{0x78, 0x01};
    std::size_t at = 0;
    do {
        const std::size_t n = std::min(kStoredBlockMax, filtered.size() - at);
        const bool last = at + n == filtered.size();
        zlib.push_back(last ? 1 : 0);
        zlib.push_back(static_cast<std::uint8_t>(n & 0xFF));
        zlib.push_back(static_cast<std::uint8_t>(n >> 8));
        zlib.push_back(static_cast<std::uint8_t>(~n & 0xFF));
        zlib.push_back(static_cast<std::uint8_t>((~n >> 8) & 0xFF));
        zlib.insert(zlib.end(), filtered.begin() + static_cast<std::ptrdiff_t>(at),
                    filtered.begin() + static_cast<std::ptrdiff_t>(at + n));
        at += n;
    } while (at < filtered.size());
    put32(zlib, adler32(filtered));

    std::vector<std::uint8_t> header;
    put32(header, static_cast<std::uint32_t>(width));
    put32(header, static_cast<std::uint32_t>(height));
    header.insert(header.end(), {8, 0, 0, 0, 0});

    std::vector<std::uint8_t> out{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    out.reserve(out.size() + 3 * 12 + header.size() + zlib.size());
    chunk(out, "IHDR", header);
    chunk(out, "IDAT", zlib);
    chunk(out, "IEND", {});
    return out;
}

}  // namespace qtx

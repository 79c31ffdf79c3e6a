#include "link/frame.hpp"

namespace qtx {

std::uint16_t byteSum16(std::span<const std::uint8_t> bytes) {
    std::uint32_t sum = 0;
    for (std::uint8_t b : bytes) sum += b;
    return static_cast<std::uint16_t>(sum & 0xFFFFU);
}

std::vector<std::uint8_t> buildFrame(std::uint8_t command,
                                     std::span<const std::uint8_t> payload) {
    const auto n = static_cast<std::uint16_t>(payload.size());
    std::vector<std::uint8_t> frame(n == 0 ? kHeaderSize : n + 8U);
    frame[0] = kSync;
    frame[1] = command;
    frame[2] = static_cast<std::uint8_t>(n & 0xFF);
    frame[3] = static_cast<std::uint8_t>(n >> 8);
    const std::uint16_t h = byteSum16(std::span(frame).first(4));
    frame[4] = static_cast<std::uint8_t>(h & 0xFF);
    frame[5] = static_cast<std::uint8_t>(h >> 8);
    if (n > 0) {
        std::copy(payload.begin(), payload.begin() + n, frame.begin() + kHeaderSize);
        const std::uint16_t p = byteSum16(payload.first(n));
        frame[kHeaderSize + n] = static_cast<std::uint8_t>(p & 0xFF);
        frame[kHeaderSize + n + 1] = static_cast<std::uint8_t>(p >> 8);
    }
    return frame;
}

bool headerChecksumOk(std::span<const std::uint8_t> header) {
    if (header.size() < kHeaderSize) return false;
    const std::uint16_t stored = static_cast<std::uint16_t>(header[4] | (header[5] << 8));
    return stored == byteSum16(header.first(4));
}

std::uint16_t payloadLength(std::span<const std::uint8_t> header) {
    if (header.size() < 4) return 0;
    return static_cast<std::uint16_t>(header[2] | (header[3] << 8));
}

bool payloadChecksumOk(std::span<const std::uint8_t> frame) {
    const std::size_t n = payloadLength(frame);
    if (frame.size() < n + 8) return false;
    const std::uint16_t stored =
        static_cast<std::uint16_t>(frame[kHeaderSize + n] | (frame[kHeaderSize + n + 1] << 8));
    return stored == byteSum16(frame.subspan(kHeaderSize, n));
}

}  // namespace qtx

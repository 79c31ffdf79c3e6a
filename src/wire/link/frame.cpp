#include "link/frame.hpp"

#include <algorithm>

#include "link/le16.hpp"

namespace qtx {

std::uint16_t byteSum16(std::span<const std::uint8_t> bytes) {
    std::uint32_t sum = 0;
    for (std::uint8_t b : bytes) sum += b;
    return static_cast<std::uint16_t>(sum & 0xFFFFU);
}

std::vector<std::uint8_t> buildFrame(std::uint8_t command, std::span<const std::uint8_t> payload) {
    const auto n = static_cast<std::uint16_t>(payload.size());
    std::vector<std::uint8_t> frame(n == 0 ? kHeaderSize : n + 8U);
    frame[0] = kSync;
    frame[1] = command;
    putLe16(frame, 2, n);
    putLe16(frame, 4, byteSum16(std::span(frame).first(4)));
    if (n > 0) {
        std::copy(payload.begin(), payload.begin() + n, frame.begin() + kHeaderSize);
        putLe16(frame, kHeaderSize + n, byteSum16(payload.first(n)));
    }
    return frame;
}

bool headerChecksumOk(std::span<const std::uint8_t> header) {
    if (header.size() < kHeaderSize) return false;
    return le16(header, 4) == byteSum16(header.first(4));
}

std::uint16_t payloadLength(std::span<const std::uint8_t> header) {
    if (header.size() < 4) return 0;
    return le16(header, 2);
}

bool payloadChecksumOk(std::span<const std::uint8_t> frame) {
    const std::size_t n = payloadLength(frame);
    if (frame.size() < n + 8) return false;
    return le16(frame, kHeaderSize + n) == byteSum16(frame.subspan(kHeaderSize, n));
}

}  // namespace qtx

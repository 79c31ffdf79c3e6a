#include "upload/code_image.hpp"

#include "upload/crc16.hpp"

namespace qtx {

CodeCheck checkCodeImage(std::span<const std::uint8_t> bytes) {
    CodeCheck check;
    if (bytes.size() != kCodeBytes) return check;
    check.computed = crc16(bytes.first(kCodeChecked));
    check.stored = static_cast<std::uint16_t>((bytes[kCodeBytes - 2] << 8) | bytes[kCodeBytes - 1]);
    check.verdict =
        check.computed == check.stored ? CodeCheck::Verdict::Good : CodeCheck::Verdict::BadCrc;
    return check;
}

std::array<std::uint8_t, kPagePayloadBytes> pagePayload(
    std::span<const std::uint8_t, kCodeBytes> image, int page) {
    std::array<std::uint8_t, kPagePayloadBytes> payload{};
    if (page < 0 || page >= kCodePages) return payload;
    payload[0] = static_cast<std::uint8_t>(page + 64);
    const auto source = image.subspan(static_cast<std::size_t>(page) * kPageBytes, kPageBytes);
    // The QTX takes its words high byte first.
    for (std::size_t k = 0; k < kPageBytes; k += 2) {
        payload[2 + k] = source[k + 1];
        payload[3 + k] = source[k];
    }
    return payload;
}

std::array<std::uint8_t, 4> endPayload(std::span<const std::uint8_t, kCodeBytes> image) {
    return {0x20, 0x00, image[kCodeBytes - 1], image[kCodeBytes - 2]};
}

}  // namespace qtx

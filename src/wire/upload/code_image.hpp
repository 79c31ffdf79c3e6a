// A program-code image for the QTX and the payloads that carry it:
//
//   file      98304 bytes = 192 pages x 512
//             0 .. 98299       code, covered by the CRC-16
//             98300 .. 98301   not covered; sent like the rest
//             98302, 98303     stored CRC, high byte then low byte
//   page p    p+64  00  then for each 16-bit word of the page its two bytes exchanged:
//             file[p*512+1] file[p*512] file[p*512+3] file[p*512+2] ...   (514 bytes)
//   end       20 00 crc-low crc-high                                       (4 bytes)
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace qtx {

inline constexpr std::size_t kCodeBytes = 98304;
inline constexpr std::size_t kCodeChecked = 98300;
inline constexpr int kCodePages = 192;
inline constexpr std::size_t kPageBytes = 512;
inline constexpr std::size_t kPagePayloadBytes = kPageBytes + 2;

// The payload of the begin frame.
inline constexpr std::array<std::uint8_t, 2> kCodeBeginPayload{0x20, 0x00};

struct CodeCheck {
    enum class Verdict { Good, WrongLength, BadCrc };
    Verdict verdict = Verdict::WrongLength;
    std::uint16_t computed = 0;  // over the checked bytes; 0 when the length is wrong
    std::uint16_t stored = 0;
};

// Whether these bytes are an image the QTX will take: exact length and matching CRC.
CodeCheck checkCodeImage(std::span<const std::uint8_t> bytes);

// The payload of page `page` (0..191) of a whole image.
std::array<std::uint8_t, kPagePayloadBytes> pagePayload(
    std::span<const std::uint8_t, kCodeBytes> image, int page);

// The payload of the end frame, which carries the stored CRC low byte first.
std::array<std::uint8_t, 4> endPayload(std::span<const std::uint8_t, kCodeBytes> image);

}  // namespace qtx

// One message on the serial link, the same layout both ways:
//
//   byte 0      0xA5 sync
//   byte 1      command code
//   bytes 2-3   payload length N, little-endian
//   bytes 4-5   header checksum: (byte 0 + byte 1 + byte 2 + byte 3) mod 65536, little-endian
//   6 .. 5+N    payload
//   6+N, 7+N    payload checksum: sum of the payload bytes mod 65536, little-endian
//               (only when N > 0; a frame without payload is the 6 header bytes alone)
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace qtx {

inline constexpr std::uint8_t kSync = 0xA5;
inline constexpr std::size_t kHeaderSize = 6;

// Codes the QTX sends.
inline constexpr std::uint8_t MSG_IMAGE_OFFER = 0;
inline constexpr std::uint8_t MSG_FLASH_OFFER = 1;
inline constexpr std::uint8_t MSG_BUFFER_STATUS = 3;
inline constexpr std::uint8_t MSG_HEADER = 4;
inline constexpr std::uint8_t MSG_ROW_RAW = 5;
inline constexpr std::uint8_t MSG_ACK = 6;
inline constexpr std::uint8_t MSG_ROW = 7;
inline constexpr std::uint8_t MSG_DISPLAY = 9;
inline constexpr std::uint8_t MSG_NAK = 21;
inline constexpr std::uint8_t MSG_LINK_OK = 254;
inline constexpr std::uint8_t MSG_LINK_REQUEST = 255;

// Codes the console sends.
inline constexpr std::uint8_t CMD_DECLINE = 1;
inline constexpr std::uint8_t CMD_DOWNLOAD_END = 2;
inline constexpr std::uint8_t CMD_DOWNLOAD_ALL = 3;
inline constexpr std::uint8_t CMD_HEADER_REQ = 4;
inline constexpr std::uint8_t CMD_ROW_RAW = 5;
inline constexpr std::uint8_t CMD_ROW_REQ = 7;
inline constexpr std::uint8_t CMD_KEY = 8;
inline constexpr std::uint8_t CMD_REMOTE = 9;
inline constexpr std::uint8_t CMD_SAVED = 11;
inline constexpr std::uint8_t CMD_CODE_END = 250;
inline constexpr std::uint8_t CMD_CODE_PAGE = 252;
inline constexpr std::uint8_t CMD_CODE_BEGIN = 253;
inline constexpr std::uint8_t CMD_LINK_OK = 254;

// Sum of the bytes modulo 65536.
std::uint16_t byteSum16(std::span<const std::uint8_t> bytes);

// The whole frame: 6 bytes when the payload is empty, N + 8 otherwise.
std::vector<std::uint8_t> buildFrame(std::uint8_t command, std::span<const std::uint8_t> payload);

// True when the first 6 bytes are there and bytes 4-5 hold the sum of bytes 0-3.
bool headerChecksumOk(std::span<const std::uint8_t> header);

// N from bytes 2-3; 0 when fewer than 4 bytes are given.
std::uint16_t payloadLength(std::span<const std::uint8_t> header);

// True when the whole frame (N + 8 bytes) is there and its last two bytes hold the sum of
// the payload; false for a frame cut short.
bool payloadChecksumOk(std::span<const std::uint8_t> frame);

}  // namespace qtx

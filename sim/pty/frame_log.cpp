#include "pty/frame_log.hpp"

#include <cstdio>

#include "link/frame.hpp"

namespace qtx::sim {

std::string codeName(Direction direction, std::uint8_t code) {
    if (direction == Direction::In) {
        switch (code) {
            case CMD_DECLINE:
                return "CMD_DECLINE";
            case CMD_DOWNLOAD_END:
                return "CMD_DOWNLOAD_END";
            case CMD_DOWNLOAD_ALL:
                return "CMD_DOWNLOAD_ALL";
            case CMD_HEADER_REQ:
                return "CMD_HEADER_REQ";
            case CMD_ROW_RAW:
                return "CMD_ROW_RAW";
            case CMD_ROW_REQ:
                return "CMD_ROW_REQ";
            case CMD_KEY:
                return "CMD_KEY";
            case CMD_REMOTE:
                return "CMD_REMOTE";
            case CMD_SAVED:
                return "CMD_SAVED";
            case CMD_CODE_END:
                return "CMD_CODE_END";
            case CMD_CODE_PAGE:
                return "CMD_CODE_PAGE";
            case CMD_CODE_BEGIN:
                return "CMD_CODE_BEGIN";
            case CMD_LINK_OK:
                return "CMD_LINK_OK";
            default:
                break;
        }
    } else {
        switch (code) {
            case MSG_IMAGE_OFFER:
                return "MSG_IMAGE_OFFER";
            case MSG_FLASH_OFFER:
                return "MSG_FLASH_OFFER";
            case MSG_BUFFER_STATUS:
                return "MSG_BUFFER_STATUS";
            case MSG_HEADER:
                return "MSG_HEADER";
            case MSG_ROW_RAW:
                return "MSG_ROW_RAW";
            case MSG_ACK:
                return "MSG_ACK";
            case MSG_ROW:
                return "MSG_ROW";
            case MSG_DISPLAY:
                return "MSG_DISPLAY";
            case MSG_NAK:
                return "MSG_NAK";
            case MSG_LINK_OK:
                return "MSG_LINK_OK";
            case MSG_LINK_REQUEST:
                return "MSG_LINK_REQUEST";
            default:
                break;
        }
    }
    char s[16];
    std::snprintf(s, sizeof s, "code %u", code);
    return s;
}

std::string frameLogLine(double seconds, Direction direction, std::span<const std::uint8_t> bytes,
                         const std::string& note) {
    // Received bytes that were given up are not a frame, and neither is garbage.
    const bool frame = bytes.size() >= kHeaderSize && bytes[0] == kSync &&
                       !(direction == Direction::In && !note.empty()) && note != "garbage";
    std::string name = frame ? codeName(direction, bytes[1]) : "(" + note + ")";
    char head[64];
    std::snprintf(head, sizeof head, "%12.6f %s %-18s", seconds,
                  direction == Direction::In ? "<-" : "->", name.c_str());
    std::string line = head;
    line.reserve(line.size() + bytes.size() * 3 + note.size() + 4);
    static const char* digits = "0123456789abcdef";
    for (std::uint8_t b : bytes) {
        line.push_back(' ');
        line.push_back(digits[b >> 4]);
        line.push_back(digits[b & 0xF]);
    }
    if (frame && !note.empty()) line += "  [" + note + "]";
    return line;
}

}  // namespace qtx::sim

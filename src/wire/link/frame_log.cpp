#include "link/frame_log.hpp"

#include "link/frame.hpp"
#include "text/numtext.hpp"

namespace qtx {

namespace {

constexpr std::size_t kTimeWidth = 12;
constexpr std::size_t kNameWidth = 18;

std::string logLine(double seconds, LogDirection direction, std::string_view name,
                    std::span<const std::uint8_t> bytes) {
    // Through the number texts, not printf: the shells run under the user's locale, whose
    // decimal comma would make two logs of one session read differently.
    std::string time = formatPattern(seconds, "0.000000");
    std::string line;
    if (time.size() < kTimeWidth) line.append(kTimeWidth - time.size(), ' ');
    line += time;
    line += direction == LogDirection::Sent ? " -> " : " <- ";
    line += name;
    if (name.size() < kNameWidth) line.append(kNameWidth - name.size(), ' ');
    static constexpr char kDigits[] = "0123456789abcdef";
    for (std::uint8_t b : bytes) {
        line.push_back(' ');
        line.push_back(kDigits[b >> 4]);
        line.push_back(kDigits[b & 0xF]);
    }
    return line;
}

}  // namespace

std::string codeName(LineEnd sender, std::uint8_t code) {
    if (sender == LineEnd::Console) {
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
    return "code " + std::to_string(code);
}

std::string frameLogLine(double seconds, LogDirection direction, LineEnd sender,
                         std::span<const std::uint8_t> frame, std::string_view note) {
    if (frame.size() < kHeaderSize) return bytesLogLine(seconds, direction, frame, note);
    std::string line = logLine(seconds, direction, codeName(sender, frame[1]), frame);
    if (!note.empty()) {
        line += "  [";
        line += note;
        line += ']';
    }
    return line;
}

std::string bytesLogLine(double seconds, LogDirection direction,
                         std::span<const std::uint8_t> bytes, std::string_view what) {
    return logLine(seconds, direction, "(" + std::string(what) + ")", bytes);
}

}  // namespace qtx

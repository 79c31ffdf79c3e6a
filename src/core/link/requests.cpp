// The link's own frames to the QTX, each built whole and written in one go.
#include "console.hpp"
#include "link/frame.hpp"
#include "link/le16.hpp"

namespace qtx {

namespace {

// The low 16 bits of the value, low byte first.
std::array<std::uint8_t, 2> word(std::int32_t value) {
    std::array<std::uint8_t, 2> bytes{};
    putLe16(bytes, 0, static_cast<std::uint16_t>(value));
    return bytes;
}

}  // namespace

// Builders that check the port refuse with a message box; the others serve paths on which
// the port is normally open and refuse silently, so a closed port is never written.
void Link::send(std::span<const std::uint8_t> frame, bool checksPort) {
    if (!state.portopen) {
        if (checksPort) host.messageBox("No COM port is open to QTX");
        return;
    }
    host.write(frame);
}

void Link::sendkey(std::int32_t keycode) { send(buildFrame(CMD_KEY, word(keycode)), true); }

void Link::sendcommand(std::int16_t code) {
    send(buildFrame(static_cast<std::uint8_t>(code & 0xFF), {}), true);
}

void Link::sendremotemode(std::int16_t flag) {
    const std::array<std::uint8_t, 2> payload{static_cast<std::uint8_t>(flag & 0xFF), 0};
    send(buildFrame(CMD_REMOTE, payload), false);
}

void Link::sendsavereport(std::int16_t flag) {
    const std::array<std::uint8_t, 2> payload{static_cast<std::uint8_t>(flag & 0xFF), 0};
    send(buildFrame(CMD_SAVED, payload), false);
}

void Link::sendlinkconfirm() { send(buildFrame(CMD_LINK_OK, {}), false); }

}  // namespace qtx

// Every request to the QTX: one frame, built whole into `outframe` and written in one go.
#include "console.hpp"
#include "link/frame.hpp"
#include "link/le16.hpp"
#include "text/numtext.hpp"

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
void Console::writeFrame(bool checksPort) {
    if (!link.portopen) {
        if (checksPort) host.messageBox("No COM port is open to QTX");
        return;
    }
    host.write(link.outframe);
}

void Console::sendkey(std::int32_t keycode) {
    link.outframe = buildFrame(CMD_KEY, word(keycode));
    writeFrame(true);
}

void Console::sendcommand(std::int16_t code) {
    link.outframe = buildFrame(static_cast<std::uint8_t>(code & 0xFF), {});
    writeFrame(true);
}

void Console::requestheader(std::int16_t buffer) {
    // The send buffer of this request is 14 bytes with only 10 filled: four zeros follow.
    link.outframe = buildFrame(CMD_HEADER_REQ, word(buffer));
    link.outframe.resize(14, 0);
    ++reception.headercopies;
    writeFrame(false);
}

void Console::requestrow(std::int16_t buffer) {
    const bool trackRow = reception.rownumber == 200;
    // Row, first column, width, then the buffer in the low byte of the last word.
    std::array<std::uint8_t, 8> payload{};
    putLe16(payload, 0, static_cast<std::uint16_t>(reception.rownumber));
    putLe16(payload, 2, static_cast<std::uint16_t>(trackRow ? 0 : reception.reqcolumn));
    putLe16(payload, 4, static_cast<std::uint16_t>(trackRow ? 320 : reception.reqwidth));
    payload[6] = static_cast<std::uint8_t>(buffer & 0xFF);
    link.outframe = buildFrame(trackRow ? CMD_ROW_RAW : CMD_ROW_REQ, payload);
    ++reception.copiessent;
    writeFrame(false);
}

void Console::sendremotemode(std::int16_t flag) {
    const std::array<std::uint8_t, 2> payload{static_cast<std::uint8_t>(flag & 0xFF), 0};
    link.outframe = buildFrame(CMD_REMOTE, payload);
    writeFrame(false);
}

void Console::sendsavereport(std::int16_t flag) {
    const std::array<std::uint8_t, 2> payload{static_cast<std::uint8_t>(flag & 0xFF), 0};
    link.outframe = buildFrame(CMD_SAVED, payload);
    writeFrame(false);
}

void Console::sendlinkconfirm() {
    link.outframe = buildFrame(CMD_LINK_OK, {});
    writeFrame(false);
}

void Console::sendframe(std::uint8_t code, std::span<const std::uint8_t> payload,
                        std::uint16_t length) {
    link.outframe = buildFrame(code, payload.first(std::min<std::size_t>(length, payload.size())));
    writeFrame(true);
    showText(TextBox::PCtext, " PageNumber = " + signedText(upload.pagenumber) +
                                  " of 192 being sent" + crlf + signedText(link.retrycount) +
                                  " retries");
}

}  // namespace qtx

// Every request to the QTX: one frame, built whole into `outframe` and written in one go.
#include "console.hpp"
#include "link/frame.hpp"
#include "text/numtext.hpp"

namespace qtx {

namespace {

std::array<std::uint8_t, 2> word(std::int32_t value) {
    return {static_cast<std::uint8_t>(value & 0xFF), static_cast<std::uint8_t>((value >> 8) & 0xFF)};
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
    writeFrame(false);
}

void Console::requestrow(std::int16_t buffer) {
    const bool trackRow = reception.rownumber == 200;
    const auto row = word(reception.rownumber);
    const auto column = word(trackRow ? 0 : reception.reqcolumn);
    const auto width = word(trackRow ? 320 : reception.reqwidth);
    const std::array<std::uint8_t, 8> payload{row[0],   row[1],   column[0], column[1],
                                              width[0], width[1], static_cast<std::uint8_t>(buffer & 0xFF), 0};
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

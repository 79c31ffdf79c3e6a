// The receive state machine: gathers bytes in `rxbuffer`, finds frames at its front,
// checks them and dispatches each by its command code.
#include <algorithm>
#include <cstring>

#include "console.hpp"
#include "link/frame.hpp"

namespace qtx {

namespace {

constexpr int kHeaderBytes = static_cast<int>(kHeaderSize);  // a frame without payload
constexpr int kDisplayFrameBytes = 56;
constexpr int kBufferStatusBytes = 12;
constexpr int kDisplayLine = 24;

bool carriesPayload(std::uint8_t code) {
    return code == MSG_BUFFER_STATUS || code == MSG_HEADER || code == MSG_ROW_RAW ||
           code == MSG_ROW || code == MSG_DISPLAY;
}

// The QTX display: payload bytes one to one as characters, CR LF after the 24th.
std::string displayText(std::span<const std::uint8_t> payload) {
    std::string text;
    text.reserve(payload.size() + 2);
    for (std::size_t i = 0; i < payload.size(); ++i) {
        text.push_back(static_cast<char>(payload[i]));
        if (i + 1 == kDisplayLine) text += crlf;
    }
    return text;
}

}  // namespace

std::span<const std::uint8_t> LinkState::frontPayload() const {
    const std::size_t held =
        rxcount > kHeaderBytes ? static_cast<std::size_t>(rxcount) - kHeaderSize : 0;
    const std::size_t n = std::min<std::size_t>(payloadLength(rxbuffer), held);
    return std::span<const std::uint8_t>(rxbuffer).subspan(kHeaderSize, n);
}

void Console::removeFront(int count) {
    count = std::clamp(count, 0, static_cast<int>(link.rxcount));
    std::memmove(link.rxbuffer.data(), link.rxbuffer.data() + count,
                 static_cast<std::size_t>(link.rxcount - count));
    link.rxcount = static_cast<std::int16_t>(link.rxcount - count);
}

void Console::onSerialEvent(SerialEvent kind) {
    if (kind != SerialEvent::DataReceived) {
        if (link.headerok || link.rxcount < 1) return;
        processFrames();
        return;
    }
    const std::vector<std::uint8_t> bytes = host.readAll();
    // A read larger than the buffer is taken in buffer-sized pieces, each processed as if
    // it had arrived on its own, so frames behind the first kilobyte are still found.
    std::size_t taken = 0;
    do {
        if (link.rxcount >= static_cast<int>(kRxBufferSize)) {
            // Nothing that can complete is held in a full buffer; give up its first byte
            // and look for the next frame.
            removeFront(1);
            link.headerok = false;
        }
        const std::size_t room = kRxBufferSize - static_cast<std::size_t>(link.rxcount);
        const std::size_t piece = std::min(room, bytes.size() - taken);
        if (piece > 0)
            std::memcpy(link.rxbuffer.data() + link.rxcount, bytes.data() + taken, piece);
        link.rxcount = static_cast<std::int16_t>(link.rxcount + static_cast<int>(piece));
        taken += piece;
        processFrames();
    } while (taken < bytes.size());
}

// Drops every byte before the first 0xA5 (all of them when there is none).
void Console::resynchronise() {
    const auto* begin = link.rxbuffer.data();
    const auto* sync = std::find(begin, begin + link.rxcount, kSync);
    if (sync != begin) removeFront(static_cast<int>(sync - begin));
}

void Console::processFrames() {
    processPass();
    // Bytes that a frame left behind when the pass ended early can never start a frame;
    // dropping them now keeps the buffer empty or starting at a frame between events.
    resynchronise();
}

void Console::processPass() {
    stopReceiving = false;
    while (link.rxcount >= 1) {
        resynchronise();
        if (link.rxcount < kHeaderBytes) return;
        // The header is checked every time it stands at the front, also when the frame
        // before it left `headerok` set: an unchecked header could otherwise be taken for
        // an acknowledgement or a frame of any length.
        if (!headerChecksumOk(std::span(link.rxbuffer).first(kHeaderSize))) {
            removeFront(kHeaderBytes);
            link.headerok = false;
            continue;
        }
        link.headerok = true;
        dispatchFrame();
        if (stopReceiving || link.headerok) return;
    }
}

void Console::dispatchFrame() {
    const std::uint8_t code = link.rxbuffer[1];
    const int n = payloadLength(link.rxbuffer);
    const int frameBytes = n + 8;
    // A frame that cannot fit the buffer can never complete: drop its header and go on.
    if (carriesPayload(code) && frameBytes > static_cast<int>(kRxBufferSize)) {
        removeFront(kHeaderBytes);
        link.headerok = false;
        return;
    }
    const bool whole = link.rxcount >= frameBytes;
    const auto frame =
        std::span<const std::uint8_t>(link.rxbuffer.data(), static_cast<std::size_t>(link.rxcount));
    switch (code) {
        case MSG_IMAGE_OFFER:
            showText(TextBox::PCtext, "QTX is downloading current image");
            removeFront(kHeaderBytes);
            fetchScreenImage();
            return;
        case MSG_FLASH_OFFER:
            showText(TextBox::PCtext, "QTX is downloading flash memory");
            removeFront(kHeaderBytes);
            if (files.autosave) {
                requestBufferStatus();
            } else {
                sendcommand(CMD_DECLINE);
            }
            return;
        case MSG_BUFFER_STATUS: {
            showText(TextBox::PCtext, "QTX is communicating filled data buffers");
            if (!whole) return;
            // A bitmap shorter than its 4 bytes is as unusable as a damaged one.
            onBufferStatusFrame(payloadChecksumOk(frame) && n >= 4);
            removeFront(kBufferStatusBytes);
            return;
        }
        case MSG_HEADER:
            watchdogRestart(link.shortinterval);
            showText(TextBox::PCtext, "Header data being received per host request");
            if (!whole) return;
            onHeader(payloadChecksumOk(frame));
            return;
        case MSG_ROW_RAW:
        case MSG_ROW:
            watchdogRestart(link.shortinterval);
            if (!whole) return;
            host.stopTimer();
            link.headerok = false;
            onRow(payloadChecksumOk(frame));
            return;
        case MSG_ACK:
            removeFront(kHeaderBytes);
            link.headerok = false;
            if (link.pendingop == PendingOp::Key) {
                setText(TextBox::PCtext,
                        link.linkup ? "Keypress acknowledged" : "Link Established");
                host.report(link.linkup ? Event{KeyAcknowledged{}} : Event{LinkEstablished{}});
                link.linkup = true;
            } else if (isUploadStep(link.pendingop)) {
                uploadstep();
            }
            return;
        case MSG_DISPLAY:
            if (!link.linkup) {
                setText(TextBox::PCtext, "Link Established");
                link.linkup = true;
                host.report(LinkEstablished{});
            }
            if (!whole) return;
            link.headerok = false;
            if (payloadChecksumOk(frame)) {
                showText(TextBox::QTXText,
                         displayText(frame.subspan(kHeaderSize, static_cast<std::size_t>(n))));
            } else {
                showText(TextBox::QTXText, "????????");
            }
            removeFront(kDisplayFrameBytes);
            return;
        case MSG_NAK:
            removeFront(kHeaderBytes);
            link.headerok = false;
            setText(TextBox::PCtext, "QTX did not understand command");
            return;
        case MSG_LINK_OK:
            removeFront(kHeaderBytes);
            link.headerok = false;
            setText(TextBox::PCtext, "Link established to QTX");
            host.report(LinkEstablished{});
            return;
        case MSG_LINK_REQUEST:
            setText(TextBox::PCtext, "Request to establish link");
            removeFront(kHeaderBytes);
            link.headerok = false;
            sendlinkconfirm();
            // What was awaited before the request is still awaited: stopping the watchdog
            // here would leave it waiting for ever.
            resumeWatchdog();
            return;
        default:
            // No handling is defined for other codes; drop the header so nothing stalls.
            removeFront(kHeaderBytes);
            link.headerok = false;
            return;
    }
}

}  // namespace qtx

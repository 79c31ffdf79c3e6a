// The receive state machine: gathers bytes in `rxbuffer`, finds frames at its front,
// checks them and dispatches each by its command code.
#include <algorithm>
#include <cstring>

#include "console.hpp"
#include "link/frame.hpp"
#include "text/crlf.hpp"

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

void Link::removeFront(int count) {
    count = std::clamp(count, 0, static_cast<int>(state.rxcount));
    std::memmove(state.rxbuffer.data(), state.rxbuffer.data() + count,
                 static_cast<std::size_t>(state.rxcount - count));
    state.rxcount = static_cast<std::int16_t>(state.rxcount - count);
}

void Link::onSerialEvent(SerialEvent kind) {
    if (kind != SerialEvent::DataReceived) {
        if (state.headerok || state.rxcount < 1) return;
        processFrames();
        return;
    }
    const std::vector<std::uint8_t> bytes = host.readAll();
    // A read larger than the buffer is taken in buffer-sized pieces, each processed as if
    // it had arrived on its own, so frames behind the first kilobyte are still found.
    std::size_t taken = 0;
    do {
        if (state.rxcount >= static_cast<int>(kRxBufferSize)) {
            // Nothing that can complete is held in a full buffer; give up its first byte
            // and look for the next frame.
            removeFront(1);
            state.headerok = false;
        }
        const std::size_t room = kRxBufferSize - static_cast<std::size_t>(state.rxcount);
        const std::size_t piece = std::min(room, bytes.size() - taken);
        if (piece > 0)
            std::memcpy(state.rxbuffer.data() + state.rxcount, bytes.data() + taken, piece);
        state.rxcount = static_cast<std::int16_t>(state.rxcount + static_cast<int>(piece));
        taken += piece;
        processFrames();
    } while (taken < bytes.size());
}

// Drops every byte before the first 0xA5 (all of them when there is none).
void Link::resynchronise() {
    const auto* begin = state.rxbuffer.data();
    const auto* sync = std::find(begin, begin + state.rxcount, kSync);
    if (sync != begin) removeFront(static_cast<int>(sync - begin));
}

void Link::processFrames() {
    processPass();
    // Bytes that a frame left behind when the pass ended early can never start a frame;
    // dropping them now keeps the buffer empty or starting at a frame between events.
    resynchronise();
}

void Link::processPass() {
    stopReceiving = false;
    while (state.rxcount >= 1) {
        resynchronise();
        if (state.rxcount < kHeaderBytes) return;
        // The header is checked every time it stands at the front, also when the frame
        // before it left `headerok` set: an unchecked header could otherwise be taken for
        // an acknowledgement or a frame of any length.
        if (!headerChecksumOk(std::span(state.rxbuffer).first(kHeaderSize))) {
            removeFront(kHeaderBytes);
            state.headerok = false;
            continue;
        }
        state.headerok = true;
        dispatchFrame();
        if (stopReceiving || state.headerok) return;
    }
}

void Link::dispatchFrame() {
    const std::uint8_t code = state.rxbuffer[1];
    const int n = payloadLength(state.rxbuffer);
    const int frameBytes = n + 8;
    // A frame that cannot fit the buffer can never complete: drop its header and go on.
    if (carriesPayload(code) && frameBytes > static_cast<int>(kRxBufferSize)) {
        removeFront(kHeaderBytes);
        state.headerok = false;
        return;
    }
    const bool whole = state.rxcount >= frameBytes;
    const auto frame = std::span<const std::uint8_t>(state.rxbuffer.data(),
                                                     static_cast<std::size_t>(state.rxcount));
    switch (code) {
        case MSG_IMAGE_OFFER:
            showText(TextBox::PCtext, "QTX is downloading current image");
            removeFront(kHeaderBytes);
            console.download.fetchScreenImage();
            return;
        case MSG_FLASH_OFFER:
            showText(TextBox::PCtext, "QTX is downloading flash memory");
            removeFront(kHeaderBytes);
            console.download.onFlashOffer();
            return;
        case MSG_BUFFER_STATUS: {
            showText(TextBox::PCtext, "QTX is communicating filled data buffers");
            if (!whole) return;
            // A bitmap shorter than its 4 bytes is as unusable as a damaged one.
            console.download.onBufferStatusFrame(payloadChecksumOk(frame) && n >= 4);
            removeFront(kBufferStatusBytes);
            return;
        }
        case MSG_HEADER:
            watchdogRestart(state.shortinterval);
            showText(TextBox::PCtext, "Header data being received per host request");
            if (!whole) return;
            console.download.onHeader(payloadChecksumOk(frame));
            return;
        case MSG_ROW_RAW:
        case MSG_ROW:
            watchdogRestart(state.shortinterval);
            if (!whole) return;
            host.stopTimer();
            state.headerok = false;
            console.download.onRow(payloadChecksumOk(frame));
            return;
        case MSG_ACK:
            removeFront(kHeaderBytes);
            state.headerok = false;
            onAck();
            return;
        case MSG_DISPLAY:
            if (!state.linkup) {
                setText(TextBox::PCtext, "Link Established");
                state.linkup = true;
                host.report(LinkEstablished{});
            }
            if (!whole) return;
            state.headerok = false;
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
            state.headerok = false;
            setText(TextBox::PCtext, "QTX did not understand command");
            return;
        case MSG_LINK_OK:
            removeFront(kHeaderBytes);
            state.headerok = false;
            setText(TextBox::PCtext, "Link established to QTX");
            host.report(LinkEstablished{});
            return;
        case MSG_LINK_REQUEST:
            setText(TextBox::PCtext, "Request to establish link");
            removeFront(kHeaderBytes);
            state.headerok = false;
            sendlinkconfirm();
            // What was awaited before the request is still awaited: stopping the watchdog
            // here would leave it waiting for ever.
            console.resumeWatchdog();
            return;
        default:
            // No handling is defined for other codes; drop the header so nothing stalls.
            removeFront(kHeaderBytes);
            state.headerok = false;
            return;
    }
}

void Link::onAck() {
    if (state.pendingop == PendingOp::Key) {
        setText(TextBox::PCtext, state.linkup ? "Keypress acknowledged" : "Link Established");
        host.report(state.linkup ? Event{KeyAcknowledged{}} : Event{LinkEstablished{}});
        state.linkup = true;
    } else if (isUploadStep(state.pendingop)) {
        console.uploader.uploadstep();
    }
}

std::span<const std::uint8_t> Link::front() const {
    return std::span<const std::uint8_t>(state.rxbuffer)
        .first(static_cast<std::size_t>(std::min<int>(frontFrameBytes(), state.rxcount)));
}

int Link::frontFrameBytes() const { return payloadLength(state.rxbuffer) + 8; }

void Link::dropReceived() {
    state.rxcount = 0;
    (void)host.readAll();
}

}  // namespace qtx

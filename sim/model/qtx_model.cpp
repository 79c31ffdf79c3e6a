#include "model/qtx_model.hpp"

#include <algorithm>
#include <bit>
#include <cstdio>

#include "link/frame.hpp"
#include "link/le16.hpp"
#include "model/row_encoder.hpp"

namespace qtx::sim {

namespace {

constexpr int kTrackRow = 200;

}  // namespace

QtxModel::QtxModel(const ModelOptions& opts)
    : options(opts),
      reader([this](const RxFrame& f) { onFrame(f); },
             [this](std::span<const std::uint8_t> bytes, const std::string& why) {
                 if (watch) watch(Direction::In, bytes, why);
             }),
      panelRng(mixSeed(opts.seed, 0x9A4E1)),
      buffers(makeCatalogue(opts.seed)) {
    output.setPlan(opts.faults);
    inbound.setPlan(opts.requestFaults);
    panel.bestFocus = 450 + static_cast<int>(mixSeed(opts.seed, 0xF0C5) % 100);
    showHome();
}

void QtxModel::setWatcher(FrameWatcher watcher) {
    watch = std::move(watcher);
    if (!watch) {
        output.setObserver({});
        inbound.setObserver({});
        return;
    }
    // Requests are logged as the reader takes them; here only what the line did to them.
    inbound.setObserver([this](std::span<const std::uint8_t> bytes, const std::string& note) {
        if (!note.empty()) watch(Direction::In, bytes, "line: " + note);
    });
    output.setObserver([this](std::span<const std::uint8_t> bytes, const std::string& note) {
        watch(Direction::Out, bytes, note);
    });
}

void QtxModel::receive(std::span<const std::uint8_t> bytes) {
    for (FrameCutter::Piece& piece : cutter.push(bytes)) {
        if (!piece.frame) {
            reader.push(piece.bytes);
            continue;
        }
        inbound.send(std::move(piece.bytes));
        for (const Emission& e : inbound.take()) {
            if (e.delayMs > 0 || e.delayTicks > 0) output.hold(e.delayMs, e.delayTicks);
            reader.push(e.bytes);
            output.release();
        }
    }
}

void QtxModel::lineIdle() {
    reader.push(cutter.flush());
    reader.flushPartial();
}

std::vector<std::uint8_t> QtxModel::takeOutput() { return output.takeBytes(); }

std::vector<Emission> QtxModel::takeEmissions() { return output.take(); }

void QtxModel::send(std::uint8_t code, std::span<const std::uint8_t> payload) {
    output.send(buildFrame(code, payload));
}

void QtxModel::sendDisplay() {
    const auto bytes = displayBytes();
    send(MSG_DISPLAY, bytes);
}

void QtxModel::restart() {
    // What the instrument keeps through a restart: its settings, focuser and clock.
    Panel kept;
    kept.settings = panel.settings;
    kept.focuser = panel.focuser;
    kept.bestFocus = panel.bestFocus;
    kept.exposuresTaken = panel.exposuresTaken;
    kept.clock = panel.clock;
    panel = kept;
}

void QtxModel::requestLink() { send(MSG_LINK_REQUEST); }

void QtxModel::offerImage() { send(MSG_IMAGE_OFFER); }

void QtxModel::offerFlash() { send(MSG_FLASH_OFFER); }

std::uint32_t QtxModel::bufferBitmap() const {
    std::uint32_t bits = 0;
    for (int i = 0; i < kBufferCount; ++i) {
        if (!buffers[static_cast<std::size_t>(i)].empty()) bits |= 1U << i;
    }
    return bits;
}

void QtxModel::pressKey(std::uint16_t code) {
    const Outcome outcome = applyKey(code);
    // Under local control nobody is listening; under remote control the console mirrors.
    if (!remoteOn) return;
    sendDisplay();
    if (outcome.offerImage) offerImage();
    if (outcome.offerFlash) offerFlash();
}

void QtxModel::onFrame(const RxFrame& frame) {
    ++received;
    if (watch) watch(Direction::In, frame.bytes, "");
    if (!contacted) {
        contacted = true;
        if (options.linkRequestOnContact) requestLink();
    }
    const auto& p = frame.payload;
    switch (frame.code) {
        case CMD_KEY: {
            if (p.size() < 2) break;
            send(MSG_ACK);
            const Outcome outcome = applyKey(le16(p, 0));
            sendDisplay();
            if (outcome.offerImage) offerImage();
            if (outcome.offerFlash) offerFlash();
            return;
        }
        case CMD_REMOTE:
            if (p.size() < 2) break;
            remoteOn = p[0] != 0;
            if (panel.mode == Mode::Home) showHome(panel.homeNote);
            // Remote off comes from a console that is closing its port: an answer would
            // only wait in the line for the next console to open it.
            if (!remoteOn) return;
            sendDisplay();
            if (options.flashOfferOnRemote && !flashOffered) {
                flashOffered = true;
                offerFlash();
            }
            return;
        case CMD_LINK_OK:
            send(MSG_LINK_OK);
            return;
        case CMD_HEADER_REQ:
            if (p.size() < 2) break;
            answerHeader(frame);
            return;
        case CMD_ROW_REQ:
        case CMD_ROW_RAW:
            if (p.size() < 7) break;
            answerRow(frame);
            return;
        case CMD_DOWNLOAD_ALL: {
            const std::uint32_t bits = bufferBitmap();
            const std::array<std::uint8_t, 4> status{static_cast<std::uint8_t>((bits >> 16) & 0xFF),
                                                     static_cast<std::uint8_t>(bits >> 24),
                                                     static_cast<std::uint8_t>(bits & 0xFF),
                                                     static_cast<std::uint8_t>((bits >> 8) & 0xFF)};
            show("SENDING  all buffers", std::to_string(std::popcount(bits)) + " filled");
            send(MSG_BUFFER_STATUS, status);
            return;
        }
        case CMD_DOWNLOAD_END:
        case CMD_DECLINE:
            panel.mode = Mode::Home;
            showHome(frame.code == CMD_DECLINE ? "Declined by host" : "Transfer done");
            sendDisplay();
            return;
        case CMD_SAVED:
            if (p.size() < 1) break;
            saveReport = p[0];
            return;
        case CMD_CODE_BEGIN:
        case CMD_CODE_PAGE:
        case CMD_CODE_END:
            answerCode(frame);
            return;
        default:
            break;
    }
    send(MSG_NAK);
}

void QtxModel::answerHeader(const RxFrame& frame) {
    const std::uint16_t n = le16(frame.payload, 0);
    if (n >= kBufferCount) {
        send(MSG_NAK);
        return;
    }
    const ImageBuffer& b = buffers[n];
    char number[4];
    std::snprintf(number, sizeof number, "%02u", static_cast<unsigned>(n));
    show(std::string("SENDING  buffer ") + number, bufferSummary(n));
    send(MSG_HEADER, headerBlock(b.header));
}

void QtxModel::answerRow(const RxFrame& frame) {
    const auto& p = frame.payload;
    const int rownumber = le16(p, 0);
    const int column = le16(p, 2);
    const int width = le16(p, 4);
    const int n = p[6];
    if (n >= kBufferCount || buffers[static_cast<std::size_t>(n)].empty()) {
        send(MSG_NAK);
        return;
    }
    const ImageBuffer& b = buffers[static_cast<std::size_t>(n)];
    if (frame.code == CMD_ROW_RAW && rownumber == kTrackRow) {
        send(MSG_ROW_RAW, rawRow(b.trackrow));
        return;
    }
    // The requested window must lie inside the image; the console asks for the header's.
    const int r = rownumber - b.header.firstrow;
    const int c = column - b.header.firstcolumn;
    if (r < 0 || r >= b.header.height || c < 0 || width < 1 || c + width > b.header.width) {
        send(MSG_NAK);
        return;
    }
    const auto pixels =
        b.row(r).subspan(static_cast<std::size_t>(c), static_cast<std::size_t>(width));
    if (frame.code == CMD_ROW_REQ && !b.rawRows) {
        if (const auto packed = encodeRow(pixels)) {
            send(MSG_ROW, *packed);
            return;
        }
    }
    send(MSG_ROW_RAW, rawRow(pixels));
}

void QtxModel::answerCode(const RxFrame& frame) {
    CodeLoader::Verdict verdict;
    if (frame.code == CMD_CODE_BEGIN) {
        verdict = loader.begin(frame.payload);
    } else if (frame.code == CMD_CODE_PAGE) {
        verdict = loader.page(frame.payload);
    } else {
        verdict = loader.end(frame.payload);
    }
    switch (verdict) {
        case CodeLoader::Verdict::Accepted:
            send(MSG_ACK);
            show(loader.message(), loader.detail());
            // The display goes out at the start only: one per page would slow the upload.
            if (frame.code == CMD_CODE_BEGIN) sendDisplay();
            return;
        case CodeLoader::Verdict::Repeat:
            send(MSG_ACK);
            return;
        case CodeLoader::Verdict::Loaded:
            send(MSG_ACK);
            show(loader.message(), loader.detail());
            sendDisplay();
            // The QTX restarts with the new code and waits to be put under remote again.
            remoteOn = false;
            restart();
            char note[32];
            std::snprintf(note, sizeof note, "New code CRC %04X", loader.runningCrc());
            panel.homeNote = note;
            return;
        case CodeLoader::Verdict::Refused:
        case CodeLoader::Verdict::Failed:
            // A failed load is not acknowledged: the console must not report success.
            send(MSG_NAK);
            show(loader.message(), loader.detail());
            sendDisplay();
            return;
    }
}

}  // namespace qtx::sim

#include "link/frame_reader.hpp"

#include <algorithm>

#include "link/frame.hpp"

namespace qtx {

FrameReader::FrameReader(FrameSink frameSink, DiscardSink discardSink)
    : onFrame(std::move(frameSink)), onDiscard(std::move(discardSink)) {
    buffer.reserve(kCapacity);
}

void FrameReader::push(std::span<const std::uint8_t> bytes) {
    // Taken in pieces that fit: a full buffer always holds a whole frame at its front (no
    // frame longer than the capacity is waited for), so draining makes room again.
    while (!bytes.empty()) {
        const std::size_t room = kCapacity - buffer.size();
        const std::size_t piece = std::min(room, bytes.size());
        buffer.insert(buffer.end(), bytes.begin(), bytes.begin() + static_cast<long>(piece));
        bytes = bytes.subspan(piece);
        drain();
    }
}

void FrameReader::flushPartial() {
    if (!buffer.empty()) discard(buffer.size(), "incomplete frame given up");
}

void FrameReader::discard(std::size_t count, const std::string& why) {
    count = std::min(count, buffer.size());
    if (count == 0) return;
    if (onDiscard) onDiscard(std::span(buffer).first(count), why);
    buffer.erase(buffer.begin(), buffer.begin() + static_cast<long>(count));
}

void FrameReader::drain() {
    while (!buffer.empty()) {
        const auto sync = std::find(buffer.begin(), buffer.end(), kSync);
        if (sync != buffer.begin()) {
            discard(static_cast<std::size_t>(sync - buffer.begin()), "skipped");
            continue;
        }
        if (buffer.size() < kHeaderSize) return;
        if (!headerChecksumOk(buffer)) {
            discard(1, "bad header checksum");
            continue;
        }
        const std::size_t n = payloadLength(buffer);
        const std::size_t total = n == 0 ? kHeaderSize : n + 8;
        if (total > kCapacity) {
            discard(1, "frame longer than the receiver");
            continue;
        }
        if (buffer.size() < total) return;
        if (n > 0 && !payloadChecksumOk(std::span(buffer).first(total))) {
            discard(total, "bad payload checksum");
            continue;
        }
        RxFrame frame;
        frame.code = buffer[1];
        frame.bytes.assign(buffer.begin(), buffer.begin() + static_cast<long>(total));
        if (n > 0) frame.payload.assign(frame.bytes.begin() + kHeaderSize, frame.bytes.end() - 2);
        buffer.erase(buffer.begin(), buffer.begin() + static_cast<long>(total));
        if (onFrame) onFrame(frame);
    }
}

}  // namespace qtx

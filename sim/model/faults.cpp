#include "model/faults.hpp"

#include "link/frame.hpp"

namespace qtx::sim {

void OutputStage::setPlan(const FaultPlan& plan) {
    faults = plan;
    rng = Rng(plan.seed);
}

void OutputStage::send(std::vector<std::uint8_t> frame) {
    const std::uint32_t number = ++count;
    // All draws are made for every frame, in the same order, so that the fate of one frame
    // does not shift the decisions for the frames after it.
    const bool dropDraw = rng.chance(faults.drop);
    const bool corruptDraw = rng.chance(faults.corrupt);
    const bool delayDraw = rng.chance(faults.delay);
    const bool garbageDraw = rng.chance(faults.garbage);
    const bool headerSide = rng.chance(0.5);
    const std::uint64_t detail = rng.next();

    if (faults.silent) {
        if (watch) watch(frame, "not sent (silent)");
        return;
    }
    if (garbageDraw) {
        // Garbage never holds a sync byte: noise that looks like a frame start would eat
        // into the frame behind it, which is a different fault.
        std::vector<std::uint8_t> junk(1 + detail % 8);
        Rng g(detail);
        for (auto& b : junk) {
            do {
                b = static_cast<std::uint8_t>(g.next() & 0xFF);
            } while (b == kSync);
        }
        if (watch) watch(junk, "garbage");
        queue.push_back({std::move(junk), 0});
    }
    if (faults.dropFrames.count(number) || dropDraw) {
        if (watch) watch(frame, "dropped");
        return;
    }
    std::string note;
    if (faults.corruptFrames.count(number) || corruptDraw) {
        const bool hasPayload = frame.size() > kHeaderSize;
        bool header = !hasPayload;
        if (hasPayload && faults.corruptWhere == CorruptWhere::Header) header = true;
        if (hasPayload && faults.corruptWhere == CorruptWhere::Any) header = headerSide;
        if (header) {
            // One bit of the header checksum: the header no longer adds up.
            frame[4] ^= static_cast<std::uint8_t>(1U << (detail % 8));
            note = "header checksum corrupted";
        } else {
            // One bit of one payload byte: the sum changes by a power of two, never by 0.
            const std::size_t n = frame.size() - 8;
            frame[kHeaderSize + (detail >> 8) % n] ^= static_cast<std::uint8_t>(1U << (detail % 8));
            note = "payload corrupted";
        }
    }
    Emission e{std::move(frame), 0, 0};
    if (delayDraw && (faults.delayMs > 0 || faults.delayTicks > 0)) {
        e.delayMs = faults.delayMs;
        e.delayTicks = faults.delayTicks;
        note += (note.empty() ? "" : ", ") + std::string("delayed ") + std::to_string(e.delayMs) +
                " ms";
    } else if (holding) {
        // Only the first answer carries the hold: the rest queue behind it on the line.
        e.delayMs = holdMs;
        e.delayTicks = holdTicks;
        holding = false;
    }
    if (watch) watch(e.bytes, note);
    queue.push_back(std::move(e));
}

void OutputStage::pass(std::vector<std::uint8_t> bytes) {
    if (faults.silent || bytes.empty()) return;
    queue.push_back({std::move(bytes), 0, 0});
}

void OutputStage::hold(std::uint32_t ms, std::uint32_t ticks) {
    holding = true;
    holdMs = ms;
    holdTicks = ticks;
}

std::vector<FrameCutter::Piece> FrameCutter::push(std::span<const std::uint8_t> in) {
    bytes.insert(bytes.end(), in.begin(), in.end());
    std::vector<Piece> out;
    std::size_t at = 0;
    auto passOn = [&] {
        if (out.empty() || out.back().frame) out.push_back({});
        out.back().bytes.push_back(bytes[at++]);
    };
    while (at < bytes.size()) {
        const auto rest = std::span<const std::uint8_t>(bytes).subspan(at);
        if (rest[0] != kSync) {
            passOn();
            continue;
        }
        if (rest.size() < kHeaderSize) break;
        const std::size_t n = payloadLength(rest);
        // Nothing the console sends is longer than the QTX's receive buffer.
        if (!headerChecksumOk(rest) || n + 8 > 1024) {
            passOn();
            continue;
        }
        const std::size_t total = n == 0 ? kHeaderSize : n + 8;
        if (rest.size() < total) break;
        out.push_back(
            {std::vector<std::uint8_t>(rest.begin(), rest.begin() + static_cast<long>(total)),
             true});
        at += total;
    }
    bytes.erase(bytes.begin(), bytes.begin() + static_cast<long>(at));
    return out;
}

std::vector<std::uint8_t> FrameCutter::flush() {
    std::vector<std::uint8_t> out;
    out.swap(bytes);
    return out;
}

std::vector<Emission> OutputStage::take() {
    std::vector<Emission> out;
    out.swap(queue);
    return out;
}

std::vector<std::uint8_t> OutputStage::takeBytes() {
    std::vector<std::uint8_t> out;
    for (const Emission& e : queue) out.insert(out.end(), e.bytes.begin(), e.bytes.end());
    queue.clear();
    return out;
}

}  // namespace qtx::sim

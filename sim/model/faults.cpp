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
    std::uint32_t wait = 0;
    if (delayDraw && faults.delayMs > 0) {
        wait = faults.delayMs;
        note += (note.empty() ? "" : ", ") + std::string("delayed ") + std::to_string(wait) + " ms";
    }
    if (watch) watch(frame, note);
    queue.push_back({std::move(frame), wait});
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

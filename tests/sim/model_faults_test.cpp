// Damage the simulated QTX does to its own output on request.
#include <gtest/gtest.h>

#include <set>

#include "model/qtx_model.hpp"
#include "sim_support.hpp"

namespace qtx::sim::test {
namespace {

bool headerAddsUp(const Bytes& f) {
    return f.size() >= 6 && ((f[0] + f[1] + f[2] + f[3]) & 0xFFFF) == (f[4] | (f[5] << 8));
}

bool payloadAddsUp(const Bytes& f) {
    unsigned s = 0;
    for (std::size_t i = 6; i + 2 < f.size(); ++i) s += f[i];
    return (s & 0xFFFF) == static_cast<unsigned>(f[f.size() - 2] | (f[f.size() - 1] << 8));
}

// Forty key presses: 80 frames out, an acknowledgement and a display each.
Bytes pressMany(QtxModel& model, int count = 40) {
    for (int i = 0; i < count; ++i) model.receive(keyFrame(key::kMonitor));
    return model.takeOutput();
}

ModelOptions withFaults(const FaultPlan& plan) {
    ModelOptions o;
    o.faults = plan;
    return o;
}

TEST(ModelFaults, ChosenFramesAreDroppedOrDamaged) {
    // A key is answered by frame 1 (MSG_ACK, 6 bytes) and frame 2 (MSG_DISPLAY, 56 bytes).
    struct Case {
        const char* what;
        std::set<std::uint32_t> drop, corrupt;
        CorruptWhere where;
        std::size_t bytes;
        bool ackHeader, displayHeader, displayPayload;  // which still add up
    };
    const Case cases[] = {
        {"acknowledgement dropped", {1}, {}, CorruptWhere::Any, 56, true, true, true},
        {"display dropped", {2}, {}, CorruptWhere::Any, 6, true, true, true},
        {"display header", {}, {2}, CorruptWhere::Header, 62, true, false, true},
        {"display payload", {}, {2}, CorruptWhere::Payload, 62, true, true, false},
        {"acknowledgement has only a header",
         {},
         {1},
         CorruptWhere::Payload,
         62,
         false,
         true,
         true},
    };
    for (const Case& c : cases) {
        FaultPlan plan;
        plan.dropFrames = c.drop;
        plan.corruptFrames = c.corrupt;
        plan.corruptWhere = c.where;
        QtxModel model(withFaults(plan));
        model.receive(keyFrame(key::kFocus));
        const Bytes out = model.takeOutput();
        ASSERT_EQ(out.size(), c.bytes) << c.what;
        const bool ackSent = c.bytes != 56;
        if (ackSent) {
            EXPECT_EQ(headerAddsUp(Bytes(out.begin(), out.begin() + 6)), c.ackHeader) << c.what;
        }
        if (c.bytes == 6) continue;
        const Bytes display(out.end() - 56, out.end());
        EXPECT_EQ(headerAddsUp(display), c.displayHeader) << c.what;
        EXPECT_EQ(payloadAddsUp(display), c.displayPayload) << c.what;
    }
}

TEST(ModelFaults, GarbageNeverHoldsASyncByteAndLeavesFramesWhole) {
    FaultPlan plan;
    plan.garbage = 1.0;
    QtxModel model(withFaults(plan));
    const Bytes out = pressMany(model, 10);
    std::size_t at = 0, frames = 0, junk = 0;
    while (at < out.size()) {
        if (out[at] != 0xA5) {
            ++junk;
            ++at;
            continue;
        }
        const std::size_t n = out[at + 2] | (out[at + 3] << 8);
        const Bytes f(out.begin() + static_cast<long>(at),
                      out.begin() + static_cast<long>(at + (n ? n + 8 : 6)));
        EXPECT_TRUE(headerAddsUp(f));
        if (n) {
            EXPECT_TRUE(payloadAddsUp(f));
        }
        at += f.size();
        ++frames;
    }
    EXPECT_EQ(frames, 20U);
    EXPECT_GE(junk, 20U);
}

TEST(ModelFaults, DelayAndSilence) {
    FaultPlan delayed;
    delayed.delay = 1.0;
    delayed.delayMs = 250;
    QtxModel slow(withFaults(delayed));
    slow.receive(keyFrame(key::kFocus));
    const auto emissions = slow.takeEmissions();
    ASSERT_EQ(emissions.size(), 2U);
    EXPECT_EQ(emissions[0].delayMs, 250U);
    EXPECT_EQ(emissions[1].delayMs, 250U);

    FaultPlan quiet;
    quiet.silent = true;
    QtxModel mute(withFaults(quiet));
    mute.receive(keyFrame(key::kFocus));
    EXPECT_FALSE(mute.hasOutput());
    EXPECT_EQ(mute.mode(), Mode::Focus);  // it still works, it only says nothing
}

TEST(ModelFaults, RequestsAreDamagedBeforeTheQtxReadsThem) {
    // A key press is answered by an acknowledgement and a display (62 bytes); a header
    // request, with the four spare bytes the console sends behind it, by a header.
    Bytes headerRequest = frameOf(4, word(1));
    headerRequest.insert(headerRequest.end(), 4, 0);
    struct Case {
        const char* what;
        FaultPlan plan;
        Bytes request;
        bool answered;
        std::uint32_t firstTicks;  // hold on the first answer
    };
    FaultPlan lost, badHeader, badPayload, junk, paused;
    lost.dropFrames = {1};
    badHeader.corruptFrames = {1};
    badHeader.corruptWhere = CorruptWhere::Header;
    badPayload.corruptFrames = {1};
    badPayload.corruptWhere = CorruptWhere::Payload;
    junk.garbage = 1.0;
    paused.delay = 1.0;
    paused.delayMs = 1500;
    paused.delayTicks = 2;
    const Case cases[] = {
        {"key lost", lost, keyFrame(key::kFocus), false, 0},
        {"key header damaged", badHeader, keyFrame(key::kFocus), false, 0},
        {"key payload damaged", badPayload, keyFrame(key::kFocus), false, 0},
        {"garbage before the key", junk, keyFrame(key::kFocus), true, 0},
        {"garbage before the header request", junk, headerRequest, true, 0},
        {"key paused", paused, keyFrame(key::kFocus), true, 2},
        {"header request paused", paused, headerRequest, true, 2},
    };
    for (const Case& c : cases) {
        for (std::size_t piece : {c.request.size(), std::size_t{1}}) {
            ModelOptions options;
            options.requestFaults = c.plan;
            QtxModel model(options);
            for (std::size_t at = 0; at < c.request.size(); at += piece) {
                model.receive(std::span(c.request).subspan(at, std::min(piece, c.request.size() - at)));
            }
            model.lineIdle();
            const auto out = model.takeEmissions();
            EXPECT_EQ(!out.empty(), c.answered) << c.what << ", pieces of " << piece;
            EXPECT_EQ(model.mode() == Mode::Focus, c.answered && c.request[1] == 8) << c.what;
            if (out.empty()) continue;
            EXPECT_EQ(out[0].delayTicks, c.firstTicks) << c.what;
            EXPECT_EQ(out[0].delayMs, c.firstTicks ? 1500U : 0U) << c.what;
            // The rest of the answer queues behind the first on the line.
            for (std::size_t k = 1; k < out.size(); ++k) EXPECT_EQ(out[k].delayTicks, 0U) << c.what;
        }
    }
}

}  // namespace
}  // namespace qtx::sim::test

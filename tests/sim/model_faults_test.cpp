// Damage the simulated QTX does to its own output on request.
#include <gtest/gtest.h>

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
    struct Case {
        const char* what;
        FaultPlan plan;
        bool ackSent, headerGood, displaySent, displayPayloadGood;
    };
    FaultPlan dropAck, dropDisplay, headerOfDisplay, payloadOfDisplay, ackDamaged;
    dropAck.dropFrames = {1};
    dropDisplay.dropFrames = {2};
    headerOfDisplay.corruptFrames = {2};
    headerOfDisplay.corruptWhere = CorruptWhere::Header;
    payloadOfDisplay.corruptFrames = {2};
    payloadOfDisplay.corruptWhere = CorruptWhere::Payload;
    ackDamaged.corruptFrames = {1};
    ackDamaged.corruptWhere = CorruptWhere::Payload;  // nothing to damage but the header
    const Case cases[] = {
        {"acknowledgement dropped", dropAck, false, true, true, true},
        {"display dropped", dropDisplay, true, true, false, true},
        {"display header damaged", headerOfDisplay, true, false, true, true},
        {"display payload damaged", payloadOfDisplay, true, true, true, false},
        {"acknowledgement damaged", ackDamaged, true, true, true, true},
    };
    for (const Case& c : cases) {
        QtxModel model(withFaults(c.plan));
        model.receive(keyFrame(key::kFocus));
        const Bytes all = model.takeOutput();
        const Bytes ack{0xA5, 0x06, 0x00, 0x00, 0xAB, 0x00};
        const bool startsWithAck = all.size() >= 6 && Bytes(all.begin(), all.begin() + 6) == ack;
        const bool startsWithBadAck =
            all.size() >= 6 && all[1] == 0x06 && !headerAddsUp(Bytes(all.begin(), all.begin() + 6));
        EXPECT_EQ(startsWithAck || startsWithBadAck, c.ackSent) << c.what;
        if (c.what == std::string("acknowledgement damaged")) {
            EXPECT_TRUE(startsWithBadAck);
        }
        const std::size_t at = c.ackSent ? 6 : 0;
        ASSERT_EQ(all.size(), at + (c.displaySent ? 56 : 0)) << c.what;
        if (!c.displaySent) continue;
        const Bytes display(all.begin() + static_cast<long>(at), all.end());
        EXPECT_EQ(headerAddsUp(display), c.headerGood) << c.what;
        EXPECT_EQ(payloadAddsUp(display), c.displayPayloadGood) << c.what;
    }
}

TEST(ModelFaults, FractionsFollowTheSeed) {
    FaultPlan plan;
    plan.seed = 77;
    plan.drop = 0.3;
    plan.corrupt = 0.2;
    plan.garbage = 0.2;
    QtxModel a(withFaults(plan)), b(withFaults(plan));
    const Bytes first = pressMany(a);
    EXPECT_EQ(first, pressMany(b));
    plan.seed = 78;
    QtxModel c(withFaults(plan));
    EXPECT_NE(first, pressMany(c));
}

TEST(ModelFaults, DropFractionIsRoughlyKept) {
    FaultPlan plan;
    plan.drop = 0.5;
    QtxModel model(withFaults(plan));
    const auto frames = splitFrames(pressMany(model, 200));  // 400 frames
    EXPECT_GT(frames.size(), 150U);
    EXPECT_LT(frames.size(), 250U);
    EXPECT_EQ(model.framesSent(), 400U);  // numbered whether sent or not
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

}  // namespace
}  // namespace qtx::sim::test

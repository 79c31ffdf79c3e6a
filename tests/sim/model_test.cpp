// The simulated QTX on its own, for what the console cannot show: its fixed answers byte for
// byte, its row code, its refusals of bad code, and the damage it does on request. How the
// console and the model work together is console_with_model_test's and the fault matrix's.
#include <gtest/gtest.h>

#include <set>

#include "console/code_image.hpp"
#include "console/crc16.hpp"
#include "model/firmware.hpp"
#include "model/qtx_model.hpp"
#include "model/row_encoder.hpp"
#include "sim_support.hpp"

namespace qtx::sim::test {
namespace {

Bytes textBytes(const std::string& t) { return Bytes(t.begin(), t.end()); }

TEST(Model, FixedAnswers) {
    // Buffer 1: pixel size 1, pm, lunar filter; 200 x 100 from row 50, column 60; 2.50 s;
    // 203.20 cm, 20.3 cm; 03/07/2024 20:03:07; -5.00 C; site 3; 2.50 e-/ADU; levels 280 and
    // 1500; pedestal 100.
    Bytes window{0xA5, 0x04, 0x40, 0x00, 0xE9, 0x00,                          //
                 0x10, 0x0C, 0x64, 0x00, 0xC8, 0x00, 0x32, 0x00, 0x3C, 0x00,  //
                 0xFA, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x60, 0x4F,  //
                 0xCB, 0x00, 0x99, 0x33, 0xC7, 0x80, 0x0C, 0xFE, 0x03, 0x00,  //
                 0xFA, 0x00, 0x18, 0x01, 0xDC, 0x05, 0x64, 0x00};
    window.resize(6 + 64, 0x00);
    window = window + Bytes{0xA3, 0x09};
    const struct {
        const char* what;
        Bytes request;
        Bytes answer;
    } cases[] = {
        {"remote on: the home display", kRemoteOn,
         Bytes{0xA5, 0x09, 0x30, 0x00, 0xDE, 0x00} +
             textBytes("QTX  READY      REMOTE  Exp 1.000s Bin1 x2      ") + Bytes{0x21, 0x0B}},
        {"link confirmation", frameOf(254), kLinkOk},
        {"unknown command", frameOf(0x42), kNak},
        {"key without its code", frameOf(8), kNak},
        {"header of a buffer that does not exist", frameOf(4, word(32)), kNak},
        {"row of an empty buffer", rowRequest(7, 0, 0, 10, 3), kNak},
        {"row below the image", rowRequest(7, 49, 60, 200, 1), kNak},
        {"row past the image", rowRequest(7, 150, 60, 200, 1), kNak},
        {"columns past the image", rowRequest(7, 50, 60, 201, 1), kNak},
        {"buffer bitmap, word for 16..31 first", frameOf(3),
         Bytes{0xA5, 0x03, 0x04, 0x00, 0xAC, 0x00, 0x12, 0x82, 0xF7, 0x16, 0xA1, 0x01}},
        {"download end: back home", frameOf(2),
         frameOf(9, textBytes("QTX  READY      LOCAL   Transfer done           "))},
        {"an empty buffer has height 0", frameOf(4, word(3)),
         Bytes{0xA5, 0x04, 0x40, 0x00, 0xE9, 0x00} + Bytes(64, 0x00) + Bytes{0x00, 0x00}},
        // The console writes four zero bytes after its header request; they are skipped.
        {"header of the window in buffer 1", frameOf(4, word(1)) + Bytes{0, 0, 0, 0}, window},
        {"a save report is not answered", frameOf(11, Bytes{0, 0}), Bytes{}},
        {"remote off is not answered", frameOf(9, Bytes{0, 0}), Bytes{}},
    };
    for (const auto& c : cases) {
        QtxModel model;
        model.receive(c.request);
        EXPECT_EQ(model.takeOutput(), c.answer) << c.what;
    }
}

TEST(Model, KeysAreAcknowledgedAndTheImageKeyOffersANewExposure) {
    QtxModel model;
    auto frames = ask(model, keyFrame(key::kFocus));
    ASSERT_EQ(frames.size(), 2U);
    EXPECT_EQ(frames[0].bytes, kAck);
    EXPECT_EQ(payloadText(frames[1].payload), model.displayLine(0) + model.displayLine(1));
    EXPECT_EQ(model.displayLine(0).substr(0, 11), "FOCUS  pos ");

    const auto before = model.buffer(31);
    frames = ask(model, keyFrame(key::kImage));
    ASSERT_EQ(frames.size(), 3U);
    EXPECT_EQ(frames[2].bytes, kImageOffer);
    EXPECT_NE(model.buffer(31).pixels, before.pixels);
    EXPECT_NE(model.buffer(31).header.time, before.header.time);
    QtxModel twin;  // the same seed takes the same exposure
    twin.receive(keyFrame(key::kFocus));
    twin.receive(keyFrame(key::kImage));
    EXPECT_EQ(twin.buffer(31).pixels, model.buffer(31).pixels);
}

TEST(Model, RowCodeAndTrackRow) {
    // +5, -1, +8191, -8192, a jump to 40000 and one to 1024 (both multiples of 4).
    const std::vector<std::uint16_t> pixels{1000, 1005, 1004, 9195, 1003, 40000, 1024};
    EXPECT_EQ(encodeRow(pixels), std::optional<Bytes>({0xE8, 0x03, 0x05, 0x7F, 0x9F, 0xFF, 0xA0,
                                                       0x00, 0xE7, 0x10, 0xC1, 0x00}));
    // A jump too far for a delta onto a value the set token cannot hold: sent raw instead.
    EXPECT_EQ(encodeRow(std::vector<std::uint16_t>{100, 40001}), std::nullopt);
    EXPECT_EQ(encodeRow(std::vector<std::uint16_t>{0x9C40}),
              std::optional<Bytes>(Bytes{0x40, 0x9C}));

    // A summed image's track row: a guided drift of a pixel at most, both ways, then zeros.
    QtxModel model;
    const auto frames = ask(model, rowRequest(5, 200, 0, 320, 7));
    ASSERT_EQ(frames.size(), 1U);
    ASSERT_EQ(frames[0].payload.size(), 640U);
    const auto w = [&](std::size_t i) {
        return static_cast<std::int16_t>(wordAt(frames[0].payload, 2 * i));
    };
    EXPECT_EQ(w(0) | w(1), 0);
    bool negative = false;
    for (std::size_t i = 2; i < 32; ++i) {
        EXPECT_LE(std::abs(w(i) - w(i - 2)), 1) << i;
        negative = negative || w(i) < 0;
    }
    EXPECT_TRUE(negative);
    for (std::size_t i = 32; i < 320; ++i) EXPECT_EQ(w(i), 0) << i;
}

TEST(Model, StalledFrameIsGivenUpWhenTheLineGoesQuiet) {
    QtxModel model;
    const Bytes page = frameOf(252, Bytes(514, 0x40));
    model.receive(Bytes(page.begin(), page.begin() + 100));  // the console went away
    EXPECT_TRUE(model.holdsPartialFrame());
    model.lineIdle();
    EXPECT_FALSE(model.holdsPartialFrame());
    EXPECT_EQ(ask(model, kRemoteOn).size(), 1U);
}

// A code image whose stored CRC (bytes 98302-98303, high byte first) fits its contents.
TEST(Model, BadCodeIsRefusedAndShown) {
    Bytes image(kCodeBytes);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(9 + i * 7);
    const std::uint16_t crc = crc16(std::span(image).first(kCodeChecked));
    image[98302] = static_cast<std::uint8_t>(crc >> 8);
    image[98303] = static_cast<std::uint8_t>(crc & 0xFF);
    std::vector<Bytes> all{frameOf(253, Bytes{0x20, 0x00})};
    for (std::size_t p = 0; p < 192; ++p) {
        Bytes payload{static_cast<std::uint8_t>(p + 64), 0};
        for (std::size_t k = 0; k < 512; k += 2)
            payload = payload + Bytes{image[p * 512 + k + 1], image[p * 512 + k]};
        all.push_back(frameOf(252, payload));
    }
    std::vector<Bytes> wrongCrc = all;
    wrongCrc.push_back(
        frameOf(250, Bytes{0x20, 0x00, static_cast<std::uint8_t>(image[98303] ^ 1), image[98302]}));
    std::vector<Bytes> missing(all.begin(), all.end() - 1);
    missing.push_back(frameOf(250, Bytes{0x20, 0x00, image[98303], image[98302]}));
    const struct {
        const char* what;
        std::vector<Bytes> frames;  // the last one is refused
        std::string line1;
    } cases[] = {
        {"page out of order", {all[0], all[1], all[3]}, "CODE LOAD  page order"},
        {"page without begin", {all[1]}, "CODE LOAD"},
        {"bad begin payload", {frameOf(253, Bytes{0x21, 0x00})}, "CODE LOAD"},
        {"stored CRC does not match", wrongCrc, "CODE CRC ERROR"},
        {"pages missing", missing, "CODE LOAD FAILED"},
    };
    for (const auto& c : cases) {
        QtxModel model;
        for (std::size_t i = 0; i + 1 < c.frames.size(); ++i) model.receive(c.frames[i]);
        (void)model.takeOutput();
        const auto frames = ask(model, c.frames.back());
        ASSERT_EQ(frames.size(), 2U) << c.what;
        EXPECT_EQ(frames[0].bytes, kNak) << c.what;
        EXPECT_EQ(model.displayLine(0), (c.line1 + std::string(24, ' ')).substr(0, 24)) << c.what;
        EXPECT_TRUE(model.code().code().empty()) << c.what;
    }
}

bool adds(const Bytes& f, std::size_t from, std::size_t to, std::size_t sumAt) {
    unsigned s = 0;
    for (std::size_t i = from; i < to; ++i) s += f[i];
    return (s & 0xFFFF) == static_cast<unsigned>(f[sumAt] | (f[sumAt + 1] << 8));
}
bool headerAddsUp(const Bytes& f) { return f.size() >= 6 && adds(f, 0, 4, 4); }
bool payloadAddsUp(const Bytes& f) { return adds(f, 6, f.size() - 2, f.size() - 2); }

// A key is answered by frame 1 (MSG_ACK, 6 bytes) and frame 2 (MSG_DISPLAY, 56 bytes).
TEST(Model, ChosenFramesAreDroppedOrDamaged) {
    const struct {
        const char* what;
        std::set<std::uint32_t> drop, corrupt;
        CorruptWhere where;
        std::size_t bytes;
        bool ackHeader, displayHeader, displayPayload;  // which still add up
    } cases[] = {
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
    for (const auto& c : cases) {
        ModelOptions options;
        options.faults.dropFrames = c.drop;
        options.faults.corruptFrames = c.corrupt;
        options.faults.corruptWhere = c.where;
        QtxModel model(options);
        model.receive(keyFrame(key::kFocus));
        const Bytes out = model.takeOutput();
        ASSERT_EQ(out.size(), c.bytes) << c.what;
        if (c.bytes != 56) {
            EXPECT_EQ(headerAddsUp(Bytes(out.begin(), out.begin() + 6)), c.ackHeader) << c.what;
        }
        if (c.bytes == 6) continue;
        const Bytes display(out.end() - 56, out.end());
        EXPECT_EQ(headerAddsUp(display), c.displayHeader) << c.what;
        EXPECT_EQ(payloadAddsUp(display), c.displayPayload) << c.what;
    }
}

TEST(Model, GarbageDelayAndSilence) {
    ModelOptions junk;
    junk.faults.garbage = 1.0;
    QtxModel noisy(junk);
    for (int i = 0; i < 10; ++i) noisy.receive(keyFrame(key::kMonitor));
    const Bytes out = noisy.takeOutput();
    std::size_t at = 0, frames = 0, garbage = 0;
    while (at < out.size()) {
        if (out[at] != 0xA5) {  // garbage never holds a sync byte
            ++garbage;
            ++at;
            continue;
        }
        const std::size_t n = out[at + 2] | (out[at + 3] << 8);
        const Bytes f(out.begin() + static_cast<long>(at),
                      out.begin() + static_cast<long>(at + (n ? n + 8 : 6)));
        EXPECT_TRUE(headerAddsUp(f) && (n == 0 || payloadAddsUp(f)));
        at += f.size();
        ++frames;
    }
    EXPECT_EQ(frames, 20U);
    EXPECT_GE(garbage, 20U);

    ModelOptions delayed;
    delayed.faults.delay = 1.0;
    delayed.faults.delayMs = 250;
    QtxModel slow(delayed);
    slow.receive(keyFrame(key::kFocus));
    const auto emissions = slow.takeEmissions();
    ASSERT_EQ(emissions.size(), 2U);
    EXPECT_EQ(std::make_pair(emissions[0].delayMs, emissions[1].delayMs),
              std::make_pair(250U, 250U));

    ModelOptions quiet;
    quiet.faults.silent = true;
    QtxModel mute(quiet);
    mute.receive(keyFrame(key::kFocus));
    EXPECT_FALSE(mute.hasOutput());
    EXPECT_EQ(mute.mode(), Mode::Focus);  // it still works, it only says nothing
}

TEST(Model, RequestsAreDamagedBeforeTheQtxReadsThem) {
    const Bytes headerRequest = frameOf(4, word(1)) + Bytes{0, 0, 0, 0};
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
    const struct {
        const char* what;
        FaultPlan plan;
        Bytes request;
        bool answered;
        std::uint32_t firstTicks;  // hold on the first answer
    } cases[] = {
        {"key lost", lost, keyFrame(key::kFocus), false, 0},
        {"key header damaged", badHeader, keyFrame(key::kFocus), false, 0},
        {"key payload damaged", badPayload, keyFrame(key::kFocus), false, 0},
        {"garbage before the key", junk, keyFrame(key::kFocus), true, 0},
        {"garbage before the header request", junk, headerRequest, true, 0},
        {"key paused", paused, keyFrame(key::kFocus), true, 2},
        {"header request paused", paused, headerRequest, true, 2},
    };
    for (const auto& c : cases) {
        for (std::size_t piece : {c.request.size(), std::size_t{1}}) {
            ModelOptions options;
            options.requestFaults = c.plan;
            QtxModel model(options);
            for (std::size_t at = 0; at < c.request.size(); at += piece)
                model.receive(
                    std::span(c.request).subspan(at, std::min(piece, c.request.size() - at)));
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

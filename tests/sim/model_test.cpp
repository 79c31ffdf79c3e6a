// The simulated QTX on its own, for what the console cannot show: its fixed answers byte for
// byte, its row code, its refusals of bad code, and the damage it does on request.
#include <gtest/gtest.h>

// The fault plans below name only what they set.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

#include "model/row_encoder.hpp"
#include "sim_support.hpp"

namespace qtx::sim::test {
namespace {

Bytes textBytes(const std::string& t) { return Bytes(t.begin(), t.end()); }
Bytes display(const QtxModel& m) {
    return frameOf(9, textBytes(m.displayLine(0) + m.displayLine(1)));
}

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
        {"header of a buffer that does not exist", frameOf(4, wordBytes({32})), kNak},
        {"row of an empty buffer", rowRequest(7, 0, 0, 10, 3), kNak},
        {"row below the image", rowRequest(7, 49, 60, 200, 1), kNak},
        {"row past the image", rowRequest(7, 150, 60, 200, 1), kNak},
        {"columns past the image", rowRequest(7, 50, 60, 201, 1), kNak},
        {"no columns", rowRequest(7, 50, 60, 0, 1), kNak},
        {"buffer bitmap, word for 16..31 first", frameOf(3),
         Bytes{0xA5, 0x03, 0x04, 0x00, 0xAC, 0x00, 0x12, 0x82, 0xF7, 0x16, 0xA1, 0x01}},
        // The console writes four zero bytes after its header request; they are skipped.
        {"header of the window in buffer 1", frameOf(4, wordBytes({1})) + Bytes{0, 0, 0, 0},
         window},
        {"save reports and remote off are not answered", frameOf(11, {0, 0}) + kRemoteOff, {}},
    };
    for (const auto& c : cases) {
        QtxModel model;
        model.receive(c.request);
        EXPECT_EQ(model.takeOutput(), c.answer) << c.what;
    }
}

TEST(Model, KeysAreAcknowledgedAndTheImageKeyOffersANewExposure) {
    QtxModel model, twin;  // the same seed takes the same exposure
    model.receive(keyFrame(key::kFocus));
    EXPECT_EQ(model.takeOutput(), kAck + display(model));
    const auto before = model.buffer(31).pixels;
    model.receive(keyFrame(key::kImage));
    EXPECT_EQ(model.takeOutput(), kAck + display(model) + kImageOffer);
    EXPECT_NE(model.buffer(31).pixels, before);
    twin.receive(keyFrame(key::kFocus) + keyFrame(key::kImage));
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
    QtxModel model;  // rows asked for raw go raw
    model.receive(rowRequest(5, 50, 60, 200, 1));
    EXPECT_EQ(model.takeOutput().at(1), 5);

    // A summed image's track row: a guided drift of a pixel at most, both ways, then zeros.
    model.receive(rowRequest(5, 200, 0, 320, 7));
    const Bytes out = model.takeOutput();
    std::vector<int> w;
    for (std::size_t i = 6; i + 2 < out.size(); i += 2)
        w.push_back(static_cast<std::int16_t>(out[i] | out[i + 1] << 8));
    ASSERT_EQ(w.size(), 320U);
    EXPECT_EQ(w[0] | w[1], 0);
    for (std::size_t i = 2; i < 32; ++i) EXPECT_LE(std::abs(w[i] - w[i - 2]), 1) << i;
    EXPECT_LT(*std::min_element(w.begin(), w.end()), 0);
    EXPECT_EQ(std::count(w.begin() + 32, w.end(), 0), 320 - 32);
}

// Begin, 192 pages of 256 words (each high byte first in the image), end with the CRC.
TEST(Model, CodeIsTakenPageByPageAndBadCodeRefused) {
    const Bytes image = goodCodeImage(4);
    std::vector<Bytes> all{frameOf(253, Bytes{0x20, 0x00})};
    for (std::size_t p = 0; p < 192; ++p) {
        Bytes payload{static_cast<std::uint8_t>(p + 64), 0};
        for (std::size_t k = p * 512; k < p * 512 + 512; k += 2)
            payload = payload + Bytes{image[k + 1], image[k]};
        all.push_back(frameOf(252, payload));
    }
    const auto end = [&](std::uint8_t flip) {
        return frameOf(250, Bytes{0x20, 0x00, static_cast<std::uint8_t>(image.back() ^ flip),
                                  image[kCodeBytes - 2]});
    };
    char crc[5];
    std::snprintf(crc, sizeof crc, "%02X%02X", image[kCodeBytes - 2], image.back());
    const struct {
        const char* what;
        std::size_t first;  // how many of the frames above go before `last`
        Bytes last;
        Bytes answer;       // to `last`; the display follows unless `line1` is empty
        std::string line1;  // of that display
    } cases[] = {
        {"page out of order", 2, all[3], kNak, "CODE LOAD  page order"},
        {"page without begin", 0, all[1], kNak, "CODE LOAD"},
        {"bad begin payload", 0, frameOf(253, Bytes{0x21, 0x00}), kNak, "CODE LOAD"},
        {"a page again, its acknowledgement lost", 2, all[1], kAck, ""},
        {"stored CRC does not match", 193, end(1), kNak, "CODE CRC ERROR"},
        {"pages missing", 192, end(0), kNak, "CODE LOAD FAILED"},
        {"the whole code", 193, end(0), kAck, std::string("CODE LOADED  CRC ") + crc},
    };
    for (const auto& c : cases) {
        QtxModel model;
        for (std::size_t i = 0; i < c.first; ++i) model.receive(all[i]);
        (void)model.takeOutput();
        model.receive(c.last);
        const Bytes out = model.takeOutput();
        ASSERT_GE(out.size(), 6U) << c.what;
        std::string shown = out.size() == 62 ? std::string(out.begin() + 12, out.begin() + 36) : "";
        EXPECT_EQ(Bytes(out.begin(), out.begin() + 6), c.answer) << c.what;
        EXPECT_EQ(shown.erase(shown.find_last_not_of(' ') + 1), c.line1) << c.what;
        EXPECT_EQ(model.code().code(), c.line1.starts_with("CODE LOADED") ? image : Bytes{})
            << c.what;
    }
}

bool adds(const Bytes& f, std::size_t from, std::size_t to) {  // the sum is stored at `to`
    unsigned s = 0;
    for (std::size_t i = from; i < to; ++i) s += f[i];
    return (s & 0xFFFF) == static_cast<unsigned>(f[to] | (f[to + 1] << 8));
}

// The frames on the line as letters: "a" for one without payload, "d" for one with; upper case
// where the header does not add up, "!" after a payload that does not, "~" for garbage.
std::string verdict(const Bytes& out) {
    std::string v;
    for (std::size_t at = 0; at < out.size();) {
        if (out[at] != 0xA5) {  // garbage never holds a sync byte
            if (v.empty() || v.back() != '~') v += '~';
            ++at;
            continue;
        }
        const std::size_t n = out[at + 2] | (out[at + 3] << 8);
        v += adds(out, at, at + 4) ? (n ? 'd' : 'a') : (n ? 'D' : 'A');
        if (n > 0 && !adds(out, at + 6, at + 6 + n)) v += '!';
        at += n ? n + 8 : 6;
    }
    return v;
}

// Damage on either side of the QTX; a key is answered by MSG_ACK (frame 1) and the display.
TEST(Model, FaultsDamageWhatTheyAreToldToAndNothingElse) {
    const Bytes key = keyFrame(key::kFocus), header = frameOf(4, wordBytes({1})) + Bytes(4, 0);
    const auto damaged = [](std::uint32_t frame, CorruptWhere where) {
        return FaultPlan{.corruptWhere = where, .corruptFrames = {frame}};
    };
    constexpr auto kHeader = CorruptWhere::Header, kPayload = CorruptWhere::Payload;
    // 1500 ms, or two watchdog ticks in-process.
    const FaultPlan pause{.delay = 1, .delayMs = 1500, .delayTicks = 2};
    const struct {
        const char* what;
        bool onRequests;
        FaultPlan plan;
        Bytes request;
        const char* frames;  // each emission's, with "@" and its delay in ms if it has one
    } cases[] = {
        {"ack dropped", false, {.dropFrames = {1}}, key, "d"},
        {"display header", false, damaged(2, kHeader), key, "aD"},
        {"display payload", false, damaged(2, kPayload), key, "ad!"},
        {"ack has only a header", false, damaged(1, kPayload), key, "Ad"},
        {"garbage before each", false, {.garbage = 1}, key, "~a~d"},
        {"each delayed", false, {.delay = 1, .delayMs = 250}, key, "a@250d@250"},
        {"silent, but it still works", false, {.silent = true}, key, ""},
        {"key lost", true, {.dropFrames = {1}}, key, ""},
        {"key header damaged", true, damaged(1, kHeader), key, ""},
        {"garbage before the key", true, {.garbage = 1}, key, "ad"},
        {"garbage before the header request", true, {.garbage = 1}, header, "d"},
        // The rest of the answer queues behind the first on the line.
        {"key paused", true, pause, key, "a@1500d"},
        {"header request paused", true, pause, header, "d@1500"},
    };
    for (const auto& c : cases) {
        for (std::size_t piece : {c.request.size(), std::size_t{1}}) {
            SCOPED_TRACE(std::string(c.what) + ", pieces of " + std::to_string(piece));
            ModelOptions options;
            (c.onRequests ? options.requestFaults : options.faults) = c.plan;
            QtxModel model(options);
            for (std::size_t at = 0; at < c.request.size(); at += piece)
                model.receive(
                    std::span(c.request).subspan(at, std::min(piece, c.request.size() - at)));
            model.lineIdle();
            std::string frames;
            for (const Emission& e : model.takeEmissions()) {
                frames += verdict(e.bytes) + (e.delayMs ? "@" + std::to_string(e.delayMs) : "");
                EXPECT_EQ(e.delayTicks, e.delayMs == 1500 ? 2U : 0U);
            }
            EXPECT_EQ(frames, c.frames);
            EXPECT_EQ(model.mode() == Mode::Focus,
                      c.request == key && !(c.onRequests && *c.frames == '\0'));
        }
    }
}

}  // namespace
}  // namespace qtx::sim::test

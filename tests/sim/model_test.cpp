// The simulated QTX on its own, for what the console cannot show: its fixed answers byte for
// byte, its row code, its refusals of bad code, and the damage it does on request.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "model/firmware.hpp"
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
        {"no columns", rowRequest(7, 50, 60, 0, 1), kNak},
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
    const auto display = [&] {
        return frameOf(9, textBytes(model.displayLine(0) + model.displayLine(1)));
    };
    model.receive(keyFrame(key::kFocus));
    EXPECT_EQ(model.takeOutput(), kAck + display());
    EXPECT_EQ(model.displayLine(0).substr(0, 11), "FOCUS  pos ");

    const auto before = model.buffer(31);
    model.receive(keyFrame(key::kImage));
    EXPECT_EQ(model.takeOutput(), kAck + display() + kImageOffer);
    EXPECT_NE(model.buffer(31).pixels, before.pixels);
    EXPECT_NE(model.buffer(31).header.time, before.header.time);
    QtxModel twin;  // the same seed takes the same exposure
    twin.receive(keyFrame(key::kFocus));
    twin.receive(keyFrame(key::kImage));
    EXPECT_EQ(twin.buffer(31).pixels, model.buffer(31).pixels);
}

// Keys as letters: S Setup, > Right, < Left, ^ Up, v Down, - Down with Turbo.
TEST(Model, SetupKeysStepAndStopAtTheLimits) {
    const std::map<char, unsigned> keys{{'S', key::kSetup}, {'>', key::kRight},
                                        {'<', key::kLeft},  {'^', key::kUp},
                                        {'v', key::kDown},  {'-', key::kDown | key::kTurbo}};
    const std::pair<const char*, const char*> cases[] = {
        {"S>", "SETUP  Binning"},
        {"S<", "SETUP  Sum"},
        {"S>>^^^^^", "x16  0.25 e-/ADU"},
        {"S>>>---------------------", "> 1.00 cm"},  // from 203.20 cm
    };
    for (const auto& [pressed, shown] : cases) {
        QtxModel model;
        for (const char* k = pressed; *k != '\0'; ++k) model.receive(keyFrame(keys.at(*k)));
        const std::string display = model.displayLine(0) + model.displayLine(1);
        EXPECT_NE(display.find(shown), std::string::npos) << pressed << ": " << display;
    }
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
    model.receive(rowRequest(5, 200, 0, 320, 7));
    const Bytes out = model.takeOutput();
    ASSERT_EQ(out.size(), 6U + 640 + 2);
    const auto w = [&](std::size_t i) {
        return static_cast<std::int16_t>(out[6 + 2 * i] | out[7 + 2 * i] << 8);
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
    model.receive(kRemoteOn);
    EXPECT_EQ(model.takeOutput().size(), 56U);  // the display
}

TEST(Model, BadCodeIsRefusedAndShown) {
    // Begin, 192 pages of 256 words (each high byte first in the image), end with the CRC.
    const Bytes image = goodCodeImage(4);
    std::vector<Bytes> all{frameOf(253, Bytes{0x20, 0x00})};
    for (std::size_t p = 0; p < 192; ++p) {
        Bytes payload{static_cast<std::uint8_t>(p + 64), 0};
        for (std::size_t k = p * 512; k < p * 512 + 512; k += 2)
            payload = payload + Bytes{image[k + 1], image[k]};
        all.push_back(frameOf(252, payload));
    }
    std::vector<Bytes> wrongCrc = all, missing(all.begin(), all.end() - 1);
    wrongCrc.push_back(frameOf(250, Bytes{0x20, 0x00, static_cast<std::uint8_t>(image.back() ^ 1),
                                          image[kCodeBytes - 2]}));
    missing.push_back(frameOf(250, Bytes{0x20, 0x00, image.back(), image[kCodeBytes - 2]}));
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
        model.receive(c.frames.back());
        EXPECT_EQ(model.takeOutput(),
                  kNak + frameOf(9, textBytes(model.displayLine(0) + model.displayLine(1))))
            << c.what;
        EXPECT_EQ(model.displayLine(0), (c.line1 + std::string(24, ' ')).substr(0, 24)) << c.what;
        EXPECT_TRUE(model.code().code().empty()) << c.what;
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

// "drop N" or "corrupt N header|payload" (frame N), "garbage" before every frame, "delay MS"
// for every frame, "pause" (1500 ms or two watchdog ticks), "silent".
FaultPlan planOf(const std::string& spec) {
    std::istringstream in(spec);
    std::string what, where;
    unsigned n = 0;
    in >> what >> n >> where;
    FaultPlan p;
    if (what == "drop") p.dropFrames = {n};
    if (what == "corrupt") p.corruptFrames = {n};
    p.corruptWhere = where == "header" ? CorruptWhere::Header : CorruptWhere::Payload;
    p.garbage = what == "garbage" ? 1.0 : 0.0;
    p.delay = what == "delay" || what == "pause" ? 1.0 : 0.0;
    p.delayMs = what == "pause" ? 1500 : what == "delay" ? n : 0;
    p.delayTicks = what == "pause" ? 2 : 0;
    p.silent = what == "silent";
    return p;
}

// Damage on either side of the QTX; a key is answered by MSG_ACK (frame 1) and the display.
TEST(Model, FaultsDamageWhatTheyAreToldToAndNothingElse) {
    const Bytes key = keyFrame(key::kFocus), header = frameOf(4, word(1)) + Bytes{0, 0, 0, 0};
    const struct {
        const char* what;
        bool onRequests;
        const char* plan;
        Bytes request;
        const char* frames;
        const char* delaysMs;  // of each emission
    } cases[] = {
        {"acknowledgement dropped", false, "drop 1", key, "d", "0"},
        {"display dropped", false, "drop 2", key, "a", "0"},
        {"display header", false, "corrupt 2 header", key, "aD", "0 0"},
        {"display payload", false, "corrupt 2 payload", key, "ad!", "0 0"},
        {"acknowledgement has only a header", false, "corrupt 1 payload", key, "Ad", "0 0"},
        {"garbage before each", false, "garbage", key, "~a~d", "0 0 0 0"},
        {"each delayed", false, "delay 250", key, "ad", "250 250"},
        {"silent, but it still works", false, "silent", key, "", ""},
        {"key lost", true, "drop 1", key, "", ""},
        {"key header damaged", true, "corrupt 1 header", key, "", ""},
        {"key payload damaged", true, "corrupt 1 payload", key, "", ""},
        {"garbage before the key", true, "garbage", key, "ad", "0 0"},
        {"garbage before the header request", true, "garbage", header, "d", "0"},
        // The rest of the answer queues behind the first on the line.
        {"key paused", true, "pause", key, "ad", "1500 0"},
        {"header request paused", true, "pause", header, "d", "1500"},
    };
    for (const auto& c : cases) {
        for (std::size_t piece : {c.request.size(), std::size_t{1}}) {
            SCOPED_TRACE(std::string(c.what) + ", pieces of " + std::to_string(piece));
            ModelOptions options;
            (c.onRequests ? options.requestFaults : options.faults) = planOf(c.plan);
            QtxModel model(options);
            for (std::size_t at = 0; at < c.request.size(); at += piece)
                model.receive(
                    std::span(c.request).subspan(at, std::min(piece, c.request.size() - at)));
            model.lineIdle();
            Bytes out;
            std::string delays;
            for (const Emission& e : model.takeEmissions()) {
                out = out + e.bytes;
                delays += (delays.empty() ? "" : " ") + std::to_string(e.delayMs);
                EXPECT_EQ(e.delayTicks, e.delayMs == 1500 ? 2U : 0U);
            }
            EXPECT_EQ(verdict(out), c.frames);
            EXPECT_EQ(delays, c.delaysMs);
            EXPECT_EQ(model.mode() == Mode::Focus,
                      c.request == key && !(c.onRequests && *c.frames == '\0'));
        }
    }
}

}  // namespace
}  // namespace qtx::sim::test

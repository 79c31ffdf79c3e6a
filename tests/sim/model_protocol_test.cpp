// The simulated QTX's answers on the line: fixed frames byte for byte, its receiver, its
// keypad menu and the firmware loader.
#include <gtest/gtest.h>

#include "model/firmware.hpp"
#include "model/qtx_model.hpp"
#include "sim_support.hpp"

namespace qtx::sim::test {
namespace {

const Bytes kAck{0xA5, 0x06, 0x00, 0x00, 0xAB, 0x00};
const Bytes kNak{0xA5, 0x15, 0x00, 0x00, 0xBA, 0x00};
const Bytes kLinkOk{0xA5, 0xFE, 0x00, 0x00, 0xA3, 0x01};
const Bytes kLinkRequest{0xA5, 0xFF, 0x00, 0x00, 0xA4, 0x01};
const Bytes kImageOffer{0xA5, 0x00, 0x00, 0x00, 0xA5, 0x00};
const Bytes kFlashOffer{0xA5, 0x01, 0x00, 0x00, 0xA6, 0x00};
const Bytes kRemoteOn{0xA5, 0x09, 0x02, 0x00, 0xB0, 0x00, 0x01, 0x00, 0x01, 0x00};

TEST(ModelFrames, RemoteOnAnswersWithTheHomeDisplay) {
    QtxModel model;
    model.receive(kRemoteOn);
    Bytes expected{0xA5, 0x09, 0x30, 0x00, 0xDE, 0x00};
    const std::string text =
        "QTX  READY      REMOTE  "
        "Exp 1.000s Bin1 x2      ";
    expected.insert(expected.end(), text.begin(), text.end());
    expected.push_back(0x21);
    expected.push_back(0x0B);
    EXPECT_EQ(model.takeOutput(), expected);
    EXPECT_TRUE(model.remote());
}

TEST(ModelFrames, FixedAnswers) {
    struct Case {
        const char* what;
        Bytes request;
        Bytes answer;
    };
    const Case cases[] = {
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
         frameOf(9,
                 [] {
                     const std::string t = "QTX  READY      LOCAL   Transfer done           ";
                     return Bytes(t.begin(), t.end());
                 }())},
        {"an empty buffer has height 0", frameOf(4, word(3)),
         Bytes{0xA5, 0x04, 0x40, 0x00, 0xE9, 0x00} + Bytes(64, 0x00) + Bytes{0x00, 0x00}},
        {"a save report is not answered", frameOf(11, Bytes{0, 0}), Bytes{}},
        {"remote off is not answered", frameOf(9, Bytes{0, 0}), Bytes{}},
    };
    for (const Case& c : cases) {
        QtxModel model;
        model.receive(c.request);
        EXPECT_EQ(model.takeOutput(), c.answer) << c.what;
    }
}

TEST(ModelFrames, KeyIsAcknowledgedThenTheDisplayFollows) {
    QtxModel model;
    const auto frames = ask(model, keyFrame(key::kFocus));
    ASSERT_EQ(frames.size(), 2U);
    EXPECT_EQ(frames[0].bytes, kAck);
    const Bytes head(frames[1].bytes.begin(), frames[1].bytes.begin() + 6);
    EXPECT_EQ(head, (Bytes{0xA5, 0x09, 0x30, 0x00, 0xDE, 0x00}));
    ASSERT_EQ(frames[1].bytes.size(), 56U);
    EXPECT_EQ(payloadText(frames[1].payload).substr(0, 24), model.displayLine(0));
    EXPECT_EQ(payloadText(frames[1].payload).substr(24), model.displayLine(1));
    EXPECT_EQ(model.displayLine(0).substr(0, 11), "FOCUS  pos ");
}

TEST(ModelFrames, HeaderBlockOfTheWindowInBufferOne) {
    QtxModel model;
    // Flags: pixel size 1, pm, lunar filter. 200 x 100 from row 50, column 60; 2.50 s;
    // 203.20 cm, 20.3 cm; 03/07/2024 20:03:07; -5.00 C; site 3; 2.50 e-/ADU; levels 280
    // and 1500; pedestal 100.
    Bytes expected{0xA5, 0x04, 0x40, 0x00, 0xE9, 0x00,                          //
                   0x10, 0x0C, 0x64, 0x00, 0xC8, 0x00, 0x32, 0x00, 0x3C, 0x00,  //
                   0xFA, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x60, 0x4F,  //
                   0xCB, 0x00, 0x99, 0x33, 0xC7, 0x80, 0x0C, 0xFE, 0x03, 0x00,  //
                   0xFA, 0x00, 0x18, 0x01, 0xDC, 0x05, 0x64, 0x00};
    expected.resize(6 + 64, 0x00);
    expected.push_back(0xA3);
    expected.push_back(0x09);
    // The console writes four zero bytes after its header request; they are skipped.
    model.receive(frameOf(4, word(1)) + Bytes{0, 0, 0, 0});
    EXPECT_EQ(model.takeOutput(), expected);
}

TEST(ModelReceiver, FindsFramesThroughDamage) {
    const Bytes key = keyFrame(key::kMonitor);
    Bytes badHeader = key;
    badHeader[4] ^= 0x01;
    Bytes badPayload = key;
    badPayload[6] ^= 0x01;
    struct Case {
        const char* what;
        Bytes stream;
        std::size_t keysAnswered;
    };
    // A header claiming 2000 bytes of payload can never be held: it is given up at once.
    Bytes tooLong{0xA5, 0x08, 0xD0, 0x07, 0x84, 0x01};
    const Case cases[] = {
        {"garbage before", Bytes{0x00, 0x13, 0xFF, 0x42} + key, 1},
        {"bad header checksum, frame behind it", badHeader + key, 1},
        {"bad header checksum hides a frame start", Bytes{0xA5, 0xA5} + key, 1},
        {"bad payload checksum", badPayload + key, 1},
        {"length beyond the receiver", tooLong + key, 1},
        {"two frames at once", key + key, 2},
    };
    for (const Case& c : cases) {
        for (bool bytewise : {false, true}) {
            QtxModel model;
            if (bytewise) {
                for (std::uint8_t b : c.stream) model.receive(Bytes{b});
            } else {
                model.receive(c.stream);
            }
            const auto frames = splitFrames(model.takeOutput());
            std::size_t acks = 0;
            for (const Frame& f : frames) acks += f.bytes == kAck;
            EXPECT_EQ(acks, c.keysAnswered) << c.what << (bytewise ? " (byte by byte)" : "");
            EXPECT_FALSE(model.holdsPartialFrame()) << c.what;
        }
    }
}

TEST(ModelReceiver, StalledFrameIsGivenUpWhenTheLineGoesQuiet) {
    QtxModel model;
    const Bytes page = frameOf(252, Bytes(514, 0x40));
    model.receive(Bytes(page.begin(), page.begin() + 100));  // the console went away
    EXPECT_TRUE(model.holdsPartialFrame());
    model.lineIdle();
    EXPECT_FALSE(model.holdsPartialFrame());
    EXPECT_EQ(ask(model, kRemoteOn).size(), 1U);
}

TEST(ModelReceiver, LineNoiseNeverStallsIt) {
    // Noise rich in sync bytes and plausible headers, with real requests among it.
    QtxModel model;
    Rng rng(11);
    for (int round = 0; round < 2000; ++round) {
        Bytes noise(rng.below(64));
        for (auto& b : noise) b = rng.chance(0.2) ? 0xA5 : static_cast<std::uint8_t>(rng.next());
        if (rng.chance(0.3)) {
            const Bytes head =
                frameOf(static_cast<std::uint8_t>(rng.next()), Bytes(rng.below(1100), 0x5A));
            noise.insert(noise.end(), head.begin(), head.begin() + 6);
        }
        model.receive(noise);
        model.receive(rowRequest(7, rng.below(220), 0, 320, rng.below(40)));
        (void)model.takeOutput();
    }
    model.lineIdle();
    const auto frames = ask(model, keyFrame(key::kFocus));
    ASSERT_EQ(frames.size(), 2U);
    EXPECT_EQ(frames[0].bytes, kAck);
}

std::vector<std::string> displayAfter(QtxModel& model, std::initializer_list<unsigned> keys) {
    for (unsigned k : keys) model.receive(keyFrame(k));
    (void)model.takeOutput();
    return {model.displayLine(0), model.displayLine(1)};
}

std::string pad(std::string s) {
    s.resize(24, ' ');
    return s;
}

TEST(ModelKeypad, MenuScreens) {
    using namespace key;
    struct Case {
        const char* what;
        std::initializer_list<unsigned> keys;
        std::string line1, line2;
    };
    const Case cases[] = {
        {"setup shows the first setting", {kSetup}, "SETUP  Exposure", "  1.000 s"},
        {"up edits, marked unsaved", {kSetup, kUp}, "SETUP  Exposure", "> 2.000 s"},
        {"turbo takes bigger steps", {kSetup, kUp | kTurbo}, "SETUP  Exposure", "> 10.000 s"},
        {"value stores", {kSetup, kDown, kValue}, "SETUP  Exposure", "  0.500 s  stored"},
        {"parameter moves on and drops the edit",
         {kSetup, kUp, kParameter},
         "SETUP  Binning",
         "  1 x 1"},
        {"left goes back round", {kSetup, kLeft}, "SETUP  Sum", "  1 exposure"},
        {"gain", {kSetup, kParameter, kParameter, kUp}, "SETUP  Gain", "> x4  1.00 e-/ADU"},
        {"focal length in big steps",
         {kSetup, kRight, kRight, kRight, kUp | kTurbo},
         "SETUP  Focal length",
         "> 213.20 cm"},
        {"units convert the optics",
         {kSetup, kLeft, kLeft, kUp, kValue, kParameter, kParameter, kParameter, kParameter,
          kParameter, kParameter},
         "SETUP  Aperture",
         "  8.0 in"},
        {"values stay in range",
         {kSetup, kParameter, kDown, kDown, kDown},
         "SETUP  Binning",
         "> 1 x 1"},
        {"stored setting reaches home",
         {kSetup, kUp, kValue, kInterrupt},
         "QTX  READY      LOCAL",
         "Interrupted"},
        {"interrupt drops an edit",
         {kSetup, kUp, kInterrupt, kSetup},
         "SETUP  Exposure",
         "  1.000 s"},
        {"track needs a calibration", {kTrack}, "TRACK", "Calibrate first"},
        {"display walks the buffers", {kDisplay, kDown}, "DISPLAY  buffer 31", "320x200 single"},
        {"display shows a mosaic",
         {kDisplay, kUp, kUp, kUp, kUp},
         "DISPLAY  buffer 04",
         "320x200 mosaic 40"},
        {"display in big steps",
         {kDisplay, kUp | kTurbo, kUp | kTurbo},
         "DISPLAY  buffer 16",
         "empty"},
        {"file ops", {kFileOps, kUp}, "FILE OPS", "> Send screen image"},
        {"clearing the screen",
         {kFileOps, kUp, kUp, kValue, kMonitor},
         "MONITOR  buffer 31",
         "Screen empty"},
        {"factory code", {kFileOps, kDown, kValue}, "FILE OPS", "Factory code"},
        {"image in buffer 31", {kImage}, "IMAGE  1.000 s  bin 1", "Stored in buffer 31"},
        {"unknown key changes nothing", {kSetup, 0x0003}, "SETUP  Exposure", "  1.000 s"},
    };
    for (const Case& c : cases) {
        QtxModel model;
        const auto lines = displayAfter(model, c.keys);
        EXPECT_EQ(lines[0], pad(c.line1)) << c.what;
        EXPECT_EQ(lines[1], pad(c.line2)) << c.what;
    }
}

TEST(ModelKeypad, TurboShowsInTheCorner) {
    QtxModel model;
    EXPECT_EQ(displayAfter(model, {key::kTurbo})[0].back(), 'T');
    EXPECT_EQ(displayAfter(model, {key::kSetup})[0].back(), 'T');
    EXPECT_EQ(displayAfter(model, {0x0000})[0].back(), ' ');
}

TEST(ModelKeypad, GuidingAfterCalibrationAndSummedImages) {
    using namespace key;
    QtxModel model;
    displayAfter(model, {kSetup, kLeft, kUp | kTurbo, kUp | kTurbo, kValue});
    EXPECT_EQ(model.settings().sum, 17);
    displayAfter(model, {kCalibrate, kValue});
    EXPECT_EQ(model.displayLine(0), pad("CALIBRATE  done"));
    EXPECT_EQ(displayAfter(model, {kTrack})[0], pad("TRACK  guiding"));
    EXPECT_EQ(displayAfter(model, {kImage})[1], pad("Sum of 17 in buffer 31"));
    const ImageBuffer& screen = model.buffer(31);
    EXPECT_EQ(screen.header.numexposures, 17);
    EXPECT_TRUE(screen.header.flags & kFlagHistory);
    EXPECT_EQ(screen.trackrow[0], 0);  // the first exposure is the reference
    EXPECT_EQ(displayAfter(model, {kInterrupt, kImage})[1], pad("Stored in buffer 31"));
}

TEST(ModelKeypad, ImageKeyTakesANewExposureAndOffersIt) {
    QtxModel model;
    const std::vector<std::uint16_t> before = model.buffer(31).pixels;
    const std::uint16_t timeBefore = model.buffer(31).header.time;
    const auto frames = ask(model, keyFrame(key::kImage));
    ASSERT_EQ(frames.size(), 3U);
    EXPECT_EQ(frames[0].bytes, kAck);
    EXPECT_EQ(frames[1].code, 9);
    EXPECT_EQ(frames[2].bytes, kImageOffer);
    EXPECT_NE(model.buffer(31).pixels, before);
    EXPECT_NE(model.buffer(31).header.time, timeBefore);
    // The same seed takes the same exposure.
    QtxModel twin;
    twin.receive(keyFrame(key::kImage));
    EXPECT_EQ(twin.buffer(31).pixels, model.buffer(31).pixels);
}

TEST(ModelKeypad, OwnKeypadAndInitiative) {
    QtxModel model;
    model.pressKey(key::kImage);  // local control: nobody listens
    EXPECT_FALSE(model.hasOutput());
    model.receive(kRemoteOn);
    (void)model.takeOutput();
    model.pressKey(key::kFileOps);
    model.pressKey(key::kValue);  // "Send all buffers"
    const auto frames = splitFrames(model.takeOutput());
    ASSERT_EQ(frames.size(), 3U);
    EXPECT_EQ(frames[0].code, 9);  // no acknowledgement for its own keys
    EXPECT_EQ(frames[2].bytes, kFlashOffer);
    model.requestLink();
    EXPECT_EQ(model.takeOutput(), kLinkRequest);
}

TEST(ModelKeypad, OptionsOfferAndAskOnce) {
    ModelOptions options;
    options.flashOfferOnRemote = true;
    options.linkRequestOnContact = true;
    QtxModel model(options);
    auto frames = ask(model, kRemoteOn);
    ASSERT_EQ(frames.size(), 3U);
    EXPECT_EQ(frames[0].bytes, kLinkRequest);
    EXPECT_EQ(frames[1].code, 9);
    EXPECT_EQ(frames[2].bytes, kFlashOffer);
    EXPECT_EQ(ask(model, kRemoteOn).size(), 1U);
}

// A code image whose stored CRC (bytes 98302-98303, high byte first) fits its contents.
Bytes codeImage(std::uint8_t fill) {
    Bytes image(kCodeBytes);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(fill + i * 7);
    const std::uint16_t crc = crc16CcittFalse(std::span(image).first(kCodeChecked));
    image[98302] = static_cast<std::uint8_t>(crc >> 8);
    image[98303] = static_cast<std::uint8_t>(crc & 0xFF);
    return image;
}

Bytes pageFrame(const Bytes& image, std::size_t p) {
    Bytes payload{static_cast<std::uint8_t>(p + 64), 0};
    for (std::size_t k = 0; k < 256; ++k) {
        payload.push_back(image[p * 512 + 2 * k + 1]);
        payload.push_back(image[p * 512 + 2 * k]);
    }
    return frameOf(252, payload);
}

Bytes endFrame(const Bytes& image) {
    return frameOf(250, Bytes{0x20, 0x00, image[98303], image[98302]});
}

TEST(ModelFirmware, CrcOfTheZeroImage) {
    EXPECT_EQ(crc16CcittFalse(Bytes(98300, 0)), 0x1E0C);
    EXPECT_EQ(crc16CcittFalse(Bytes{'1', '2', '3', '4', '5', '6', '7', '8', '9'}), 0x29B1);
}

TEST(ModelFirmware, WholeUploadIsAcknowledgedFrameByFrame) {
    QtxModel model;
    const Bytes image = codeImage(3);
    auto frames = ask(model, frameOf(253, Bytes{0x20, 0x00}));
    ASSERT_GE(frames.size(), 1U);
    EXPECT_EQ(frames[0].bytes, kAck);
    for (std::size_t p = 0; p < 192; ++p) {
        frames = ask(model, pageFrame(image, p));
        ASSERT_EQ(frames.size(), 1U) << "page " << p;
        EXPECT_EQ(frames[0].bytes, kAck) << "page " << p;
        if (p == 10) {  // its acknowledgement was lost: the console sends it again
            frames = ask(model, pageFrame(image, p));
            ASSERT_EQ(frames.size(), 1U);
            EXPECT_EQ(frames[0].bytes, kAck);
        }
    }
    frames = ask(model, endFrame(image));
    ASSERT_EQ(frames.size(), 2U);
    EXPECT_EQ(frames[0].bytes, kAck);
    EXPECT_EQ(payloadText(frames[1].payload).substr(0, 12), "CODE LOADED ");
    EXPECT_EQ(model.code().code(), image);
    // Restarted: remote control comes back with the next CMD_REMOTE 1.
    EXPECT_FALSE(model.remote());
    ask(model, kRemoteOn);
    char note[32];
    std::snprintf(note, sizeof note, "New code CRC %04X",
                  crc16CcittFalse(std::span(image).first(98300)));
    EXPECT_EQ(model.displayLine(1), pad(note));
}

TEST(ModelFirmware, FailuresAreRefusedAndShown) {
    const Bytes image = codeImage(9);
    Bytes badCrc = image;
    badCrc[98303] ^= 0x01;
    struct Case {
        const char* what;
        std::vector<Bytes> frames;  // the last one is refused
        std::string line1;
    };
    std::vector<Bytes> all{frameOf(253, Bytes{0x20, 0x00})};
    for (std::size_t p = 0; p < 192; ++p) all.push_back(pageFrame(image, p));
    std::vector<Bytes> wrongCrc = all;
    wrongCrc.push_back(endFrame(badCrc));
    std::vector<Bytes> missing(all.begin(), all.end() - 1);
    missing.push_back(endFrame(image));
    const Case cases[] = {
        {"page out of order", {all[0], all[1], all[3]}, "CODE LOAD  page order"},
        {"page without begin", {all[1]}, "CODE LOAD"},
        {"bad begin payload", {frameOf(253, Bytes{0x21, 0x00})}, "CODE LOAD"},
        {"stored CRC does not match", wrongCrc, "CODE CRC ERROR"},
        {"pages missing", missing, "CODE LOAD FAILED"},
    };
    for (const Case& c : cases) {
        QtxModel model;
        for (std::size_t i = 0; i + 1 < c.frames.size(); ++i) model.receive(c.frames[i]);
        (void)model.takeOutput();
        const auto frames = ask(model, c.frames.back());
        ASSERT_EQ(frames.size(), 2U) << c.what;
        EXPECT_EQ(frames[0].bytes, kNak) << c.what;
        EXPECT_EQ(model.displayLine(0), pad(c.line1)) << c.what;
        EXPECT_TRUE(model.code().code().empty()) << c.what;
    }
}

}  // namespace
}  // namespace qtx::sim::test

// The simulated QTX's answers on the line: fixed frames byte for byte, its receiver, its
// keypad menu and the firmware loader.
#include <gtest/gtest.h>

#include "console/crc16.hpp"
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
    const std::string frame = std::string("\xA5\x09\x30\x00\xDE\x00", 6) +
                              "QTX  READY      REMOTE  "
                              "Exp 1.000s Bin1 x2      " +
                              "\x21\x0B";
    const Bytes expected(frame.begin(), frame.end());
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

TEST(ModelReceiver, StalledFrameIsGivenUpWhenTheLineGoesQuiet) {
    QtxModel model;
    const Bytes page = frameOf(252, Bytes(514, 0x40));
    model.receive(Bytes(page.begin(), page.begin() + 100));  // the console went away
    EXPECT_TRUE(model.holdsPartialFrame());
    model.lineIdle();
    EXPECT_FALSE(model.holdsPartialFrame());
    EXPECT_EQ(ask(model, kRemoteOn).size(), 1U);
}

std::string pad(std::string s) {
    s.resize(24, ' ');
    return s;
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

// A code image whose stored CRC (bytes 98302-98303, high byte first) fits its contents.
Bytes codeImage(std::uint8_t fill) {
    Bytes image(kCodeBytes);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(fill + i * 7);
    const std::uint16_t crc = crc16(std::span(image).first(kCodeChecked));
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

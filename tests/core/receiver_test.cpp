#include <string>

#include "console_fixture.hpp"
#include "test_frames.hpp"

namespace qtx::test {
namespace {


Bytes displayFrame(const std::string& line1, const std::string& line2) {
    Bytes payload(line1.begin(), line1.end());
    payload.insert(payload.end(), line2.begin(), line2.end());
    return frameOf(9, payload);
}


const Bytes kAck{0xA5, 0x06, 0x00, 0x00, 0xAB, 0x00};
const Bytes kNak{0xA5, 0x15, 0x00, 0x00, 0xBA, 0x00};
const Bytes kLinkOk{0xA5, 0xFE, 0x00, 0x00, 0xA3, 0x01};
const Bytes kLinkRequest{0xA5, 0xFF, 0x00, 0x00, 0xA4, 0x01};
const Bytes kImageOffer{0xA5, 0x00, 0x00, 0x00, 0xA5, 0x00};
const Bytes kFlashOffer{0xA5, 0x01, 0x00, 0x00, 0xA6, 0x00};

// 48 x 'A', written out: header sum 0xDE, payload sum 0x0C30.
Bytes allADisplay() {
    Bytes f{0xA5, 0x09, 0x30, 0x00, 0xDE, 0x00};
    f.insert(f.end(), 48, 0x41);
    f.push_back(0x30);
    f.push_back(0x0C);
    return f;
}

using ReceiverTest = ConsoleTest;

TEST_F(ReceiverTest, DisplayFrameShowsTwoLines) {
    receive(allADisplay());
    EXPECT_EQ(host.text(TextBox::QTXText), std::string(24, 'A') + "\r\n" + std::string(24, 'A'));
    EXPECT_EQ(host.text(TextBox::PCtext), "Link Established");
    EXPECT_EQ(console.link.rxcount, 0);
    EXPECT_FALSE(console.link.headerok);
}

TEST_F(ReceiverTest, DamagedDisplayShowsQuestionMarks) {
    Bytes frame = allADisplay();
    frame[20] = 0x42;
    receive(frame);
    EXPECT_EQ(host.text(TextBox::QTXText), "????????");
    EXPECT_EQ(console.link.rxcount, 0);
}

TEST_F(ReceiverTest, GarbageIsSkippedAndCorruptHeaderLosesSixBytes) {
    receive(Bytes{0x00, 0x13, 0xFF, 0x42});
    EXPECT_EQ(console.link.rxcount, 0);
    Bytes badHeader = kNak;
    badHeader[4] ^= 0x01;
    receive(Bytes{0x11, 0x22} + badHeader + kLinkOk);
    EXPECT_EQ(host.text(TextBox::PCtext), "Link established to QTX");
    EXPECT_EQ(console.link.rxcount, 0);
    for (const auto& t : host.texts) EXPECT_NE(t.text, "QTX did not understand command");
}

TEST_F(ReceiverTest, ShortFramesInOneRead) {
    // NAK and LINK_OK are both handled in the same call.
    receive(kNak + kLinkOk);
    ASSERT_EQ(host.texts.size(), 2U);
    EXPECT_EQ(host.texts[0].text, "QTX did not understand command");
    EXPECT_EQ(host.texts[1].text, "Link established to QTX");
    EXPECT_EQ(console.link.rxcount, 0);
}

TEST_F(ReceiverTest, OffersLeaveTheNextFrameForTheNextEvent) {
    receive(kImageOffer + kNak);
    EXPECT_EQ(host.texts.back().text, "QTX is downloading current image");
    EXPECT_TRUE(host.texts.back().repainted);
    EXPECT_TRUE(console.link.headerok);
    EXPECT_EQ(console.link.rxcount, 6);
    EXPECT_TRUE(console.reception.headerpending);
    EXPECT_EQ(console.reception.bufferindex, 31);
    const Bytes headerRequest{0xA5, 0x04, 0x02, 0x00, 0xAB, 0x00, 0x1F,
                              0x00, 0x1F, 0x00, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(host.written, std::vector<Bytes>{headerRequest});
    EXPECT_TRUE(host.timerRunning);
    EXPECT_EQ(host.timerInterval, 256);
    // A non-data event does nothing while headerok stays set.
    console.onSerialEvent(SerialEvent::Other);
    EXPECT_EQ(console.link.rxcount, 6);
    receive({});
    EXPECT_EQ(host.texts.back().text, "QTX did not understand command");
    EXPECT_EQ(console.link.rxcount, 0);

    receive(kFlashOffer + kNak);
    EXPECT_EQ(host.texts.back().text, "QTX is downloading flash memory");
    EXPECT_EQ(host.lastWritten(), (Bytes{0xA5, 0x01, 0x00, 0x00, 0xA6, 0x00}));  // decline
    EXPECT_EQ(console.link.rxcount, 6);
    console.files.autosave = true;
    receive(kFlashOffer);
    EXPECT_EQ(host.lastWritten(), (Bytes{0xA5, 0x03, 0x00, 0x00, 0xA8, 0x00}));  // download all
}

TEST_F(ReceiverTest, BufferStatusWithoutAutosaveIsDeclined) {
    const Bytes status{0xA5, 0x03, 0x04, 0x00, 0xAC, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00};
    receive(status + kNak);
    const Bytes decline{0xA5, 0x01, 0x00, 0x00, 0xA6, 0x00};
    EXPECT_EQ(host.written, std::vector<Bytes>{decline});
    EXPECT_EQ(host.texts.front().text, "QTX is communicating filled data buffers");
    EXPECT_TRUE(console.link.headerok);  // stays set: the NAK waits
    EXPECT_EQ(console.link.rxcount, 6);
    Bytes damaged = status;
    damaged[8] = 0x02;
    host.written.clear();
    receive(damaged);
    EXPECT_TRUE(host.written.empty());
}

TEST_F(ReceiverTest, AcknowledgementByPendingOp) {
    receive(kAck);
    EXPECT_EQ(host.text(TextBox::PCtext), "Link Established");
    receive(kAck);
    EXPECT_EQ(host.text(TextBox::PCtext), "Keypress acknowledged");
    console.link.pendingop = static_cast<PendingOp>(7);
    host.texts.clear();
    receive(kAck);
    EXPECT_TRUE(host.texts.empty());
    EXPECT_EQ(console.link.rxcount, 0);
}

TEST_F(ReceiverTest, LinkRequestIsConfirmed) {
    console.mnudownloadlight_Click();
    receive(kLinkRequest);
    EXPECT_FALSE(host.timerRunning);
    EXPECT_EQ(host.text(TextBox::PCtext), "Request to establish link");
    EXPECT_EQ(host.lastWritten(), kLinkOk);
}

TEST_F(ReceiverTest, HeaderPiecesRestartTheWatchdogEachTime) {
    const Bytes header = frameOf(4, Bytes(38, 0));
    receive(Bytes(header.begin(), header.begin() + 8));
    receive(Bytes(header.begin() + 8, header.begin() + 20));
    int starts = 0, shown = 0;
    for (const auto& e : host.timerEvents) starts += e.kind == TimerEvent::Start ? 1 : 0;
    for (const auto& t : host.texts) {
        shown += t.text == "Header data being received per host request" && t.repainted ? 1 : 0;
    }
    EXPECT_EQ(starts, 2);
    EXPECT_EQ(shown, 2);
    EXPECT_EQ(host.timerInterval, 110);
}

TEST_F(ReceiverTest, UnknownAndImpossibleFramesDoNotStall) {
    // Unknown code 0x42 with a length field; an image row claiming 2000 bytes.
    const Bytes unknown{0xA5, 0x42, 0x10, 0x00, 0xF7, 0x00};
    const Bytes tooLong{0xA5, 0x07, 0xD0, 0x07, 0x83, 0x01};
    receive(unknown + tooLong + kNak);
    EXPECT_EQ(host.text(TextBox::PCtext), "QTX did not understand command");
    EXPECT_EQ(console.link.rxcount, 0);
}

TEST_F(ReceiverTest, MoreThanTheBufferHoldsInOneRead) {
    Bytes garbage(3000);
    for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<std::uint8_t>(i % 160);
    receive(garbage + displayFrame(std::string(24, 'x'), std::string(24, 'y')));
    EXPECT_EQ(host.text(TextBox::QTXText), std::string(24, 'x') + "\r\n" + std::string(24, 'y'));
    EXPECT_EQ(console.link.rxcount, 0);
    // Many frames in one read, far beyond 1024 bytes.
    Bytes many;
    for (int i = 0; i < 60; ++i) many = many + displayFrame(std::string(24, 'a' + i % 26), std::string(24, '-'));
    receive(many);
    EXPECT_EQ(host.text(TextBox::QTXText), std::string(24, 'a' + 59 % 26) + "\r\n" + std::string(24, '-'));
}

TEST_F(ReceiverTest, EverySplitOfAStreamGivesTheSameTexts) {
    const Bytes stream = Bytes{0x01, 0x02} + kNak + displayFrame(std::string(24, 'p'), std::string(24, 'q')) +
                         kAck + kLinkOk + displayFrame(std::string(24, 'r'), std::string(24, 's'));
    FakeHost wholeHost;
    Console whole(wholeHost);
    whole.Form_Load();
    wholeHost.texts.clear();
    wholeHost.incoming = stream;
    whole.onSerialEvent(SerialEvent::DataReceived);
    for (std::size_t cut = 1; cut < stream.size(); ++cut) {
        FakeHost h;
        Console c(h);
        c.Form_Load();
        h.texts.clear();
        h.incoming.assign(stream.begin(), stream.begin() + static_cast<long>(cut));
        c.onSerialEvent(SerialEvent::DataReceived);
        h.incoming.assign(stream.begin() + static_cast<long>(cut), stream.end());
        c.onSerialEvent(SerialEvent::DataReceived);
        EXPECT_EQ(h.text(TextBox::QTXText), wholeHost.text(TextBox::QTXText)) << cut;
        EXPECT_EQ(h.text(TextBox::PCtext), wholeHost.text(TextBox::PCtext)) << cut;
        EXPECT_EQ(c.link.rxcount, 0) << cut;
    }
}

}  // namespace
}  // namespace qtx::test

// The receive state machine: frames found in any stream of bytes, and what each short frame
// does.
#include <string>

#include "console_fixture.hpp"

namespace qtx::test {
namespace {

Bytes displayFrame(char line1, char line2) {
    return frameOf(9, Bytes(24, static_cast<std::uint8_t>(line1)) +
                          Bytes(24, static_cast<std::uint8_t>(line2)));
}
std::string display(char line1, char line2) {
    return std::string(24, line1) + "\r\n" + std::string(24, line2);
}

using ReceiverTest = ConsoleTest;

TEST_F(ReceiverTest, DisplayFramesAndTheirDamage) {
    receive(kDisplayAllA);
    EXPECT_EQ(host.text(TextBox::QTXText), display('A', 'A'));
    EXPECT_EQ(host.text(TextBox::PCtext), "Link Established");
    EXPECT_FALSE(console.link.headerok);
    Bytes damaged = kDisplayAllA;
    damaged[20] = 0x42;
    receive(damaged + kAck);
    EXPECT_EQ(host.text(TextBox::QTXText), "????????");
    EXPECT_EQ(host.text(TextBox::PCtext), "Keypress acknowledged");  // the display brought it up
    EXPECT_EQ(console.link.rxcount, 0);
}

// Garbage is skipped, a corrupt header loses its six bytes, an unknown code and frames longer
// than the buffer (never waited for) lose their headers; the whole stream is handled in one
// event, and whatever the pieces it arrives in, the same texts follow.
TEST_F(ReceiverTest, EverySplitOfAStreamGivesTheSameTexts) {
    Bytes badHeader = kNak;
    badHeader[4] ^= 0x01;
    const Bytes stream =
        Bytes{0x00, 0x13, 0xFF, 0x42, 0x11} + badHeader +
        Bytes{0xA5, 0x42, 0x10, 0x00, 0xF7, 0x00} + Bytes{0xA5, 0x07, 0xD0, 0x07, 0x83, 0x01} +
        Bytes{0xA5, 0x05, 0xD0, 0x07, 0x81, 0x01} + Bytes{0xA5, 0x03, 0xD0, 0x07, 0x7F, 0x01} +
        Bytes{0xA5, 0x04, 0xD0, 0x07, 0x80, 0x01} + Bytes{0xA5, 0x09, 0xD0, 0x07, 0x85, 0x01} +
        kNak + kAck + displayFrame('p', 'q') + kAck + kLinkOk + displayFrame('r', 's');
    const auto run = [&](std::size_t cut) {
        FakeHost h;
        Console c(h);
        c.Form_Load();
        h.incoming.assign(stream.begin(), stream.begin() + static_cast<long>(cut));
        c.onSerialEvent(SerialEvent::DataReceived);
        if (cut < stream.size()) {
            h.incoming.assign(stream.begin() + static_cast<long>(cut), stream.end());
            c.onSerialEvent(SerialEvent::DataReceived);
        }
        EXPECT_EQ(c.link.rxcount, 0) << cut;
        std::vector<std::string> texts;
        for (const TextEvent& t : h.texts) texts.push_back(t.text);
        return texts;
    };
    const auto whole = run(stream.size());
    EXPECT_EQ(whole, (std::vector<std::string>{"Link not established!",
                                               "QTX did not understand command", "Link Established",
                                               display('p', 'q'), "Keypress acknowledged",
                                               "Link established to QTX", display('r', 's')}));
    for (std::size_t cut = 1; cut < stream.size(); ++cut) EXPECT_EQ(run(cut), whole) << cut;
}

TEST_F(ReceiverTest, MoreThanTheBufferHoldsInOneRead) {
    Bytes garbage(3000);
    for (std::size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<std::uint8_t>(i % 160);
    receive(garbage + displayFrame('x', 'y'));
    EXPECT_EQ(host.text(TextBox::QTXText), display('x', 'y'));
    EXPECT_EQ(console.link.rxcount, 0);
    Bytes many;  // many frames in one read, far beyond 1024 bytes
    for (int i = 0; i < 60; ++i) many = many + displayFrame(static_cast<char>('a' + i % 26), '-');
    receive(many);
    EXPECT_EQ(host.text(TextBox::QTXText), display('a' + 59 % 26, '-'));
}

TEST_F(ReceiverTest, OffersLeaveTheNextFrameForTheNextEvent) {
    receive(kImageOffer + kNak);
    EXPECT_EQ(host.texts.back().text, "QTX is downloading current image");
    EXPECT_TRUE(host.texts.back().repainted);
    EXPECT_EQ(console.link.rxcount, 6);
    EXPECT_EQ(host.written, std::vector<Bytes>{headerRequest(31)});
    EXPECT_EQ(host.timerInterval, 256);
    // A non-data event does nothing while headerok stays set.
    console.onSerialEvent(SerialEvent::Other);
    EXPECT_EQ(console.link.rxcount, 6);
    receive({});
    EXPECT_EQ(host.texts.back().text, "QTX did not understand command");
    EXPECT_EQ(console.link.rxcount, 0);

    receive(kFlashOffer + kNak);
    EXPECT_EQ(host.texts.back().text, "QTX is downloading flash memory");
    EXPECT_EQ(host.lastWritten(), kFlashOffer);  // declined
    EXPECT_EQ(console.link.rxcount, 6);
    console.files.autosave = true;
    receive(kFlashOffer);
    EXPECT_EQ(host.lastWritten(), kDownloadAll);
}

TEST_F(ReceiverTest, BufferStatusWithoutAutosaveIsDeclined) {
    const Bytes status{0xA5, 0x03, 0x04, 0x00, 0xAC, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00};
    receive(status + kNak);
    EXPECT_EQ(host.written, std::vector<Bytes>{kFlashOffer});
    EXPECT_EQ(host.texts.front().text, "QTX is communicating filled data buffers");
    EXPECT_EQ(console.link.rxcount, 6);  // the NAK waits
    Bytes damaged = status;
    damaged[8] = 0x02;
    host.written.clear();
    receive(damaged);
    EXPECT_TRUE(host.written.empty());
}

TEST_F(ReceiverTest, AcknowledgementOfNoKnownRequestAndLinkRequest) {
    console.link.pendingop = static_cast<PendingOp>(7);
    receive(kAck);
    EXPECT_TRUE(host.texts.empty());
    EXPECT_EQ(console.link.rxcount, 0);

    console.mnudownloadlight_Click();
    receive(kLinkRequest + kNak);  // the frame behind it is handled at once
    EXPECT_FALSE(host.timerRunning);
    EXPECT_EQ(pcTexts(), (std::vector<std::string>{"Request to establish link",
                                                   "QTX did not understand command"}));
    EXPECT_EQ(host.lastWritten(), kLinkOk);
}

}  // namespace
}  // namespace qtx::test

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

// A console just loaded; each piece arrives in a receive event of its own.
struct Loaded {
    FakeHost h;
    Console c{h};
    Loaded() { c.Form_Load(), h.texts.clear(), h.written.clear(); }
    std::vector<std::string> texts(const std::vector<Bytes>& pieces) {
        for (const Bytes& piece : pieces) {
            h.incoming = piece;
            c.onSerialEvent(SerialEvent::DataReceived);
        }
        std::vector<std::string> out;
        for (const TextEvent& t : h.texts) out.push_back(t.text);
        return out;
    }
};

// Garbage, corrupt headers, unknown codes and frames longer than the buffer are passed over;
// however the stream is split, the same texts follow.
TEST(Receiver, EverySplitOfAStreamGivesTheSameTexts) {
    Bytes badHeader = kNak, badDisplay = displayFrame('t', 'u');
    badHeader[4] ^= 0x01;
    badDisplay[20] ^= 0x01;
    const Bytes stream =
        Bytes{0x00, 0x13, 0xFF, 0x42, 0x11} + badHeader +
        Bytes{0xA5, 0x42, 0x10, 0x00, 0xF7, 0x00} + Bytes{0xA5, 0x07, 0xD0, 0x07, 0x83, 0x01} +
        Bytes{0xA5, 0x03, 0xD0, 0x07, 0x7F, 0x01} + Bytes{0xA5, 0x09, 0xD0, 0x07, 0x85, 0x01} +
        kNak + kAck + displayFrame('p', 'q') + badDisplay + kAck + kLinkOk + displayFrame('r', 's');
    const auto run = [&](std::size_t cut) {
        Loaded l;
        const auto at = stream.begin() + static_cast<long>(cut);
        const auto texts = l.texts({Bytes(stream.begin(), at), Bytes(at, stream.end())});
        EXPECT_EQ(l.texts({kNak}).back(), "QTX did not understand command") << cut;  // none held
        return texts;
    };
    const auto whole = run(stream.size());
    EXPECT_EQ(whole,
              (std::vector<std::string>{"QTX did not understand command", "Link Established",
                                        display('p', 'q'), "????????", "Keypress acknowledged",
                                        "Link established to QTX", display('r', 's')}));
    for (std::size_t cut = 1; cut < stream.size(); ++cut) EXPECT_EQ(run(cut), whole) << cut;

    // More than the buffer holds in one read.
    Bytes garbage(3000);
    for (std::size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<std::uint8_t>(i % 160);
    EXPECT_EQ(Loaded{}.texts({garbage + displayFrame('x', 'y')}).back(), display('x', 'y'));
}

// The frame behind an offer waits for the next event; one behind a link request does not.
TEST(Receiver, ShortFramesAndTheFrameBehindThem) {
    const Bytes status{0xA5, 0x03, 0x04, 0x00, 0xAC, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00};
    const std::string nak = "QTX did not understand command", buffers =
                                                                  "QTX is communicating "
                                                                  "filled data buffers";
    const struct {
        Bytes in;
        bool autosave;
        std::vector<Bytes> sent;
        std::vector<std::string> texts;
        bool nakWaits;
    } cases[] = {
        {kImageOffer + kNak,
         false,
         {headerRequest(31)},
         {"QTX is downloading current image"},
         true},
        {kFlashOffer + kNak, false, {kFlashOffer}, {"QTX is downloading flash memory"}, true},
        {kFlashOffer, true, {kDownloadAll}, {"QTX is downloading flash memory"}, false},
        {status + kNak, false, {kFlashOffer}, {buffers}, true},
        {kLinkRequest + kNak, false, {kLinkOk}, {"Request to establish link", nak}, false},
    };
    const TempDir tmp;
    for (const auto& c : cases) {
        Loaded l;
        if (c.autosave) {
            l.h.fileAnswers = {tmp.path("img")};
            l.c.mnuautosave_Click();
            l.h.texts.clear();
        }
        EXPECT_EQ(std::tuple(l.texts({c.in}), l.h.written), std::tuple(c.texts, c.sent));
        EXPECT_EQ(l.h.texts.front().repainted, c.texts.size() == 1) << c.texts[0];
        l.c.onSerialEvent(SerialEvent::Other);  // not data: what waits still waits
        EXPECT_EQ(l.h.texts.size(), c.texts.size());
        EXPECT_EQ(l.texts({{}}).back(), c.nakWaits ? nak : c.texts.back());
    }
}

}  // namespace
}  // namespace qtx::test

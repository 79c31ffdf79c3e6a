// Requests on a closed port, and the frame checks of the receiver.
#include "console_fixture.hpp"
#include "link/frame.hpp"

namespace qtx::test {
namespace {

using RequestsTest = ConsoleTest;

// On a port closed under them (an INDI client disconnects), the requests the user starts
// refuse with a message (turbo changes all the same) and those of an exchange under way
// silently; an upload's page is refused aloud and still shows its count.
TEST_F(RequestsTest, ClosedPortRefusesWithOrWithoutMessage) {
    startImage();
    console.closeLink();
    host.written.clear();
    console.watchdogTick();  // row 10 again
    host.fileAnswers.push_back(tmp.path("all"));
    console.mnuflashdownload_Click();
    console.cmdturbo_Click();
    EXPECT_TRUE(host.written.empty() && host.turboColours.back() == (Colour{0, 255, 0}));
    EXPECT_EQ(host.messageBoxes, std::vector<std::string>(2, "No COM port is open to QTX"));
    console.establishLink(1);
    beginUpload(8);  // page 7 sent
    console.watchdogTick();
    console.closeLink();
    console.watchdogTick();
    EXPECT_EQ(host.messageBoxes, std::vector<std::string>(3, "No COM port is open to QTX"));
    EXPECT_EQ(host.text(TextBox::PCtext), " PageNumber =  7 of 192 being sent\r\n 2 retries");
}

// Damaged frames are pinned through the receiver; here, payload sums past 16 bits keep their
// low 16.
TEST(Frame, BuildsAndChecksFrames) {
    for (std::size_t n : {0U, 1016U}) {
        Bytes payload(n);
        for (std::size_t i = 0; i < n; ++i) payload[i] = static_cast<std::uint8_t>(i * 37 + 11);
        const Bytes frame = buildFrame(0x33, payload);
        EXPECT_EQ(frame, frameOf(0x33, payload)) << n;
        EXPECT_TRUE(headerChecksumOk(frame) && (n == 0 || payloadChecksumOk(frame))) << n;
        // The length is known as soon as its two bytes are in, before the header's sum.
        EXPECT_EQ(payloadLength(std::span(frame).first(4)), n);
        EXPECT_EQ(payloadLength(std::span(frame).first(3)), 0U);
    }
}

}  // namespace
}  // namespace qtx::test

// Requests on a closed port, and the frame checks of the receiver.
#include "console_fixture.hpp"
#include "link/frame.hpp"

namespace qtx::test {
namespace {

using RequestsTest = ConsoleTest;

// Requests the user starts refuse with a message (turbo changes all the same); the builders
// without the check refuse silently.
TEST_F(RequestsTest, ClosedPortRefusesWithOrWithoutMessage) {
    console.link.portopen = false;
    console.sendcommand(3);
    console.cmdturbo_Click();
    console.upload.pagenumber = 7;
    console.link.retrycount = 2;
    console.sendframe(CMD_CODE_BEGIN, Bytes{0x20, 0x00}, 2);
    console.requestrow(31);
    console.sendsavereport(0);
    EXPECT_TRUE(console.panel.turbo && host.written.empty());
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
    }
}

}  // namespace
}  // namespace qtx::test

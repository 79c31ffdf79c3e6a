// The frames the console writes, byte for byte, and the frame checks of the receiver.
#include "console_fixture.hpp"
#include "link/frame.hpp"

namespace qtx::test {
namespace {

using RequestsTest = ConsoleTest;

TEST_F(RequestsTest, WriteTheBytesOfEachRequest) {
    console.sendcommand(3);
    console.sendkey(32776);
    console.requestheader(31);
    console.sendremotemode(1);
    console.sendremotemode(0);
    console.sendsavereport(1);
    console.sendlinkconfirm();
    console.reception.rownumber = 12;
    console.reception.reqcolumn = 3;
    console.reception.reqwidth = 320;
    console.requestrow(5);
    console.reception.rownumber = 200;  // the raw track row: column 0, width 320 whatever is set
    console.requestrow(5);
    console.upload.pagenumber = 0;
    console.link.retrycount = 0;
    const Bytes begin{0x20, 0x00};
    console.sendframe(CMD_CODE_BEGIN, begin, 2);
    const std::vector<Bytes> expected{
        kDownloadAll,
        {0xA5, 0x08, 0x02, 0x00, 0xAF, 0x00, 0x08, 0x80, 0x88, 0x00},
        headerRequest(31),
        kRemoteOn,
        kRemoteOff,
        kNotSaved,
        kLinkOk,
        {0xA5, 0x07, 0x08, 0x00, 0xB4, 0x00, 0x0C, 0x00, 0x03, 0x00, 0x40, 0x01, 0x05, 0x00, 0x55,
         0x00},
        {0xA5, 0x05, 0x08, 0x00, 0xB2, 0x00, 0xC8, 0x00, 0x00, 0x00, 0x40, 0x01, 0x05, 0x00, 0x0E,
         0x01},
        kCodeBegin,
    };
    EXPECT_EQ(host.written, expected);
    EXPECT_TRUE(host.messageBoxes.empty());
    EXPECT_EQ(host.texts.back().text, " PageNumber =  0 of 192 being sent\r\n 0 retries");
    EXPECT_TRUE(host.texts.back().repainted);
}

TEST_F(RequestsTest, ClosedPortRefusesWithOrWithoutMessage) {
    console.link.portopen = false;
    console.sendcommand(3);
    console.sendkey(1);
    console.upload.pagenumber = 7;
    console.link.retrycount = 2;
    const Bytes payload{0x20, 0x00};
    console.sendframe(CMD_CODE_BEGIN, payload, 2);
    EXPECT_EQ(host.messageBoxes, std::vector<std::string>(3, "No COM port is open to QTX"));
    EXPECT_EQ(host.text(TextBox::PCtext), " PageNumber =  7 of 192 being sent\r\n 2 retries");
    // The builders without the check refuse silently.
    console.requestheader(31);
    console.requestrow(31);
    console.sendremotemode(1);
    console.sendsavereport(0);
    console.sendlinkconfirm();
    EXPECT_TRUE(host.written.empty());
    EXPECT_EQ(host.messageBoxes.size(), 3U);
}

TEST(Frame, BuildsAndChecksFrames) {
    EXPECT_EQ(buildFrame(255, {}), kLinkRequest);
    EXPECT_EQ(buildFrame(CMD_DOWNLOAD_END, {}), kDownloadEnd);
    const Bytes good{0xA5, 0x07, 0x01, 0x00, 0xAD, 0x00, 0x42, 0x42, 0x00};
    EXPECT_EQ(buildFrame(7, Bytes{0x42}), good);
    const Bytes page = buildFrame(CMD_CODE_PAGE, Bytes(514, 0xFF));  // sum 0x1FFFE: 16 bits kept
    ASSERT_EQ(page.size(), 522U);
    EXPECT_EQ(Bytes(page.begin() + 2, page.begin() + 4), (Bytes{0x02, 0x02}));
    EXPECT_EQ(Bytes(page.end() - 2, page.end()), (Bytes{0xFE, 0xFF}));
    EXPECT_TRUE(payloadChecksumOk(page));

    EXPECT_TRUE(headerChecksumOk(good));
    EXPECT_EQ(payloadLength(good), 1);
    EXPECT_TRUE(payloadChecksumOk(good));
    Bytes badHeader = good, badPayload = good;
    badHeader[4] = 0xAE;
    badPayload[7] = 0x43;
    EXPECT_FALSE(headerChecksumOk(badHeader));
    EXPECT_FALSE(payloadChecksumOk(badPayload));
    EXPECT_FALSE(payloadChecksumOk(Bytes(good.begin(), good.end() - 1)));
    EXPECT_FALSE(headerChecksumOk(std::span(good).first(5)));
    EXPECT_EQ(payloadLength(std::span(good).first(3)), 0);
    const Bytes big{0xA5, 0x07, 0x10, 0x27, 0xE3, 0x00};  // N = 10000
    EXPECT_TRUE(headerChecksumOk(big));
    EXPECT_EQ(payloadLength(big), 10000);
    EXPECT_FALSE(payloadChecksumOk(big));
    for (std::size_t n : {0U, 2U, 48U, 1016U}) {
        Bytes payload(n);
        for (std::size_t i = 0; i < n; ++i) payload[i] = static_cast<std::uint8_t>(i * 37 + 11);
        const Bytes frame = buildFrame(0x33, payload);
        EXPECT_EQ(frame, frameOf(0x33, payload)) << n;
        EXPECT_TRUE(headerChecksumOk(frame) && (n == 0 || payloadChecksumOk(frame))) << n;
        EXPECT_EQ(payloadLength(frame), n);
    }
}

}  // namespace
}  // namespace qtx::test

#include "console_fixture.hpp"
#include "link/frame.hpp"

namespace qtx::test {
namespace {

using RequestsTest = ConsoleTest;

TEST_F(RequestsTest, WriteTheSystemsBytes) {
    console.sendcommand(3);
    console.sendkey(32776);
    console.requestheader(31);
    console.sendremotemode(1);
    console.sendremotemode(0);
    console.sendsavereport(1);
    console.sendlinkconfirm();
    const std::vector<Bytes> expected{
        {0xA5, 0x03, 0x00, 0x00, 0xA8, 0x00},
        {0xA5, 0x08, 0x02, 0x00, 0xAF, 0x00, 0x08, 0x80, 0x88, 0x00},
        {0xA5, 0x04, 0x02, 0x00, 0xAB, 0x00, 0x1F, 0x00, 0x1F, 0x00, 0x00, 0x00, 0x00, 0x00},
        {0xA5, 0x09, 0x02, 0x00, 0xB0, 0x00, 0x01, 0x00, 0x01, 0x00},
        {0xA5, 0x09, 0x02, 0x00, 0xB0, 0x00, 0x00, 0x00, 0x00, 0x00},
        {0xA5, 0x0B, 0x02, 0x00, 0xB2, 0x00, 0x01, 0x00, 0x01, 0x00},
        {0xA5, 0xFE, 0x00, 0x00, 0xA3, 0x01},
    };
    EXPECT_EQ(host.written, expected);
    EXPECT_TRUE(host.messageBoxes.empty());
}

TEST_F(RequestsTest, RowRequestAndTrackRowRequest) {
    console.reception.rownumber = 12;
    console.reception.reqcolumn = 3;
    console.reception.reqwidth = 320;
    console.requestrow(5);
    console.reception.rownumber = 200;
    console.requestrow(5);
    const std::vector<Bytes> expected{
        // 12 0 | 3 0 | 0x40 0x01 | 5 0; payload sum 0x55
        {0xA5, 0x07, 0x08, 0x00, 0xB4, 0x00, 0x0C, 0x00, 0x03, 0x00, 0x40, 0x01, 0x05, 0x00,
         0x55, 0x00},
        // row 200 is the raw track row: column 0, width 320 whatever the fields hold
        {0xA5, 0x05, 0x08, 0x00, 0xB2, 0x00, 0xC8, 0x00, 0x00, 0x00, 0x40, 0x01, 0x05, 0x00,
         0x0E, 0x01},
    };
    EXPECT_EQ(host.written, expected);
}

TEST_F(RequestsTest, SendframeWritesAndShowsThePageText) {
    console.upload.pagenumber = 0;
    console.link.retrycount = 0;
    const Bytes payload{0x20, 0x00};
    console.sendframe(CMD_CODE_BEGIN, payload, 2);
    EXPECT_EQ(host.lastWritten(), (Bytes{0xA5, 0xFD, 0x02, 0x00, 0xA4, 0x01, 0x20, 0x00, 0x20, 0x00}));
    ASSERT_FALSE(host.texts.empty());
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

}  // namespace
}  // namespace qtx::test

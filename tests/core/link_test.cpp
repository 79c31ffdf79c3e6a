#include "console_fixture.hpp"

namespace qtx::test {
namespace {

const Bytes kRemoteOn{0xA5, 0x09, 0x02, 0x00, 0xB0, 0x00, 0x01, 0x00, 0x01, 0x00};
const Bytes kRemoteOff{0xA5, 0x09, 0x02, 0x00, 0xB0, 0x00, 0x00, 0x00, 0x00, 0x00};

TEST(LinkStart, OpensCom1AndSwitchesRemoteOn) {
    FakeHost host;
    Console console(host);
    console.Form_Load();
    EXPECT_EQ(host.openedPort, 1);
    EXPECT_EQ(host.settingsHistory, std::vector<std::string>{"115200,N,8,2"});
    EXPECT_EQ(host.written, std::vector<Bytes>{kRemoteOn});
    EXPECT_EQ(host.text(TextBox::PCtext), "Link not established!");
    EXPECT_TRUE(console.link.portopen);
    EXPECT_EQ(console.link.baudindex, 1);
    EXPECT_EQ(console.link.longinterval, 256);
    EXPECT_EQ(console.link.shortinterval, 110);
    EXPECT_FALSE(host.timerRunning);
}

TEST(LinkStart, FailureLeavesWindowUsableWithoutPort) {
    FakeHost host;
    host.openResult = false;
    host.failureDetail = "/dev/ttyS0: no such device";
    Console console(host);
    console.Form_Load();
    EXPECT_EQ(host.text(TextBox::PCtext), "Unable to open COM1\r\n/dev/ttyS0: no such device");
    EXPECT_FALSE(console.link.portopen);
    EXPECT_TRUE(host.written.empty());
    EXPECT_EQ(console.link.shortinterval, 0);
    console.mnudownloadlight_Click();
    EXPECT_EQ(host.messageBoxes, std::vector<std::string>{"No COM port is open to QTX"});
    EXPECT_FALSE(host.timerRunning);
    EXPECT_TRUE(host.written.empty());
    console.closeLink();
    EXPECT_TRUE(host.written.empty());
    EXPECT_EQ(host.endProgramCalls, 1);
}

using LinkTest = ConsoleTest;

TEST_F(LinkTest, BaudMenuThenEstablishLink) {
    console.setBaud(19200);
    EXPECT_EQ(host.settingsHistory.back(), "19200,N,8,1");
    EXPECT_EQ(console.link.shortinterval, 660);
    EXPECT_EQ(console.link.baudindex, 4);
    EXPECT_TRUE(host.written.empty());
    const struct {
        std::int32_t speed;
        const char* settings;
        int shortinterval;
    } speeds[] = {{57600, "57600,N,8,1", 220}, {38400, "38400,N,8,1", 330},
                  {115200, "115200,N,8,1", 110}, {19200, "19200,N,8,1", 660}};
    for (const auto& s : speeds) {
        console.setBaud(s.speed);
        EXPECT_EQ(host.settingsHistory.back(), s.settings);
        EXPECT_EQ(console.link.shortinterval, s.shortinterval);
        EXPECT_EQ(console.link.longinterval, 256);
    }

    receive({0xA5, 0x06, 0x00, 0x00, 0xAB, 0x00});  // link comes up
    ASSERT_TRUE(console.link.linkup);
    receive({0xA5, 0x09});  // a piece of a frame stays buffered
    console.establishLink(1);
    EXPECT_EQ(host.closeCount, 1);
    EXPECT_EQ(host.settingsHistory.back(), "19200,N,8,2");
    EXPECT_EQ(console.link.shortinterval, 110);
    EXPECT_EQ(console.link.rxcount, 0);
    EXPECT_FALSE(console.link.linkup);
    EXPECT_EQ(host.texts.back().text, "Link not established");
    EXPECT_TRUE(host.texts.back().repainted);
    EXPECT_EQ(host.lastWritten(), kRemoteOn);
}

TEST_F(LinkTest, EstablishLinkFailureNamesThePort) {
    host.openResult = false;
    console.establishLink(2);
    EXPECT_EQ(host.text(TextBox::PCtext), "COM2 not available");
    EXPECT_FALSE(console.link.portopen);
    EXPECT_TRUE(host.written.empty());
    host.openResult = true;
    console.link.pendingop = PendingOp::CodePage;
    console.establishLink(2);
    EXPECT_EQ(host.openedPort, 2);
    EXPECT_EQ(console.link.pendingop, PendingOp::Key);
    EXPECT_TRUE(console.link.portopen);
}

TEST_F(LinkTest, WatchdogRepeatsThreeTimesThenFails) {
    console.mnudownloadlight_Click();
    const Bytes headerRequest{0xA5, 0x04, 0x02, 0x00, 0xAB, 0x00, 0x1F, 0x00, 0x1F, 0x00, 0, 0, 0, 0};
    EXPECT_EQ(host.written, std::vector<Bytes>{headerRequest});
    EXPECT_TRUE(host.timerRunning);
    EXPECT_EQ(host.timerInterval, 256);
    receive({0xA5, 0x04});  // the reply begins, then stalls
    for (int tick = 1; tick <= 3; ++tick) {
        console.watchdogTick();
        EXPECT_EQ(host.written.size(), static_cast<std::size_t>(tick + 1));
        EXPECT_EQ(host.lastWritten(), headerRequest);
        EXPECT_TRUE(host.timerRunning);
    }
    EXPECT_EQ(console.link.rxcount, 2);  // the header path keeps what arrived
    console.watchdogTick();
    EXPECT_EQ(host.written.size(), 4U);
    EXPECT_FALSE(host.timerRunning);
    EXPECT_EQ(host.texts.back().text, "Communication Failed");
    EXPECT_TRUE(host.texts.back().repainted);
    // Without a good reply the next request fails on its first tick.
    console.mnudownloadlight_Click();
    console.watchdogTick();
    EXPECT_EQ(host.texts.back().text, "Communication Failed");
    EXPECT_EQ(host.written.size(), 5U);
}

TEST_F(LinkTest, WatchdogRowRepeatEmptiesTheBuffer) {
    console.reception.headerpending = false;
    console.reception.rownumber = 3;
    console.reception.reqwidth = 10;
    console.reception.bufferindex = 4;
    receive({0xA5, 0x07, 0x20});
    host.incoming = {1, 2, 3};
    console.watchdogTick();
    EXPECT_EQ(console.link.rxcount, 0);
    EXPECT_TRUE(host.incoming.empty());
    EXPECT_EQ(host.lastWritten()[1], 0x07);
    EXPECT_EQ(host.lastWritten()[6], 3);
    EXPECT_EQ(host.lastWritten()[12], 4);
}

TEST_F(LinkTest, ClosingSwitchesRemoteOffOnlyWhileOpen) {
    console.closeLink();
    EXPECT_EQ(host.written, std::vector<Bytes>{kRemoteOff});
    EXPECT_FALSE(host.open);
    EXPECT_FALSE(console.link.portopen);
    EXPECT_EQ(host.endProgramCalls, 1);
    console.closeLink();
    EXPECT_EQ(host.written.size(), 1U);
}

TEST_F(LinkTest, LosingThePortStopsEverythingAndSaysWhy) {
    console.mnudownloadlight_Click();  // a header request is outstanding
    receive({0xA5, 0x04});
    ASSERT_TRUE(host.timerRunning);
    host.showProgress(Progress{Progress::Kind::Rows, 10, 200});
    const std::size_t writes = host.written.size();

    console.portLost(1, "/dev/ttyUSB0", "choose Establish Link when it is back");
    EXPECT_FALSE(console.link.portopen);
    EXPECT_EQ(console.link.rxcount, 0);
    EXPECT_FALSE(host.timerRunning);
    EXPECT_FALSE(host.progressVisible);
    EXPECT_EQ(host.texts.back().text,
              "COM1 (/dev/ttyUSB0) was disconnected; choose Establish Link when it is back.");
    EXPECT_TRUE(host.texts.back().repainted);

    // Keys refuse on the closed port; closing sends nothing; Establish Link opens again.
    console.cmdup_Click();
    EXPECT_EQ(host.messageBoxes, std::vector<std::string>{"No COM port is open to QTX"});
    EXPECT_EQ(host.written.size(), writes);
    console.establishLink(1);
    EXPECT_TRUE(console.link.portopen);
    EXPECT_EQ(host.closeCount, 0);  // the shell closed it already
    EXPECT_EQ(host.lastWritten(), kRemoteOn);
    host.written.clear();
    console.closeLink();
    EXPECT_EQ(host.written, std::vector<Bytes>{kRemoteOff});
}

// The shell gives the port, its device and its own advice; the console words the loss.
TEST_F(LinkTest, LostDeviceIsNamedWithTheShellsAdvice) {
    const struct {
        int port;
        const char* device;
        const char* whenBack;
        const char* shown;
    } cases[] = {
        {1, "/dev/ttyUSB0", "choose Establish Link when it is back",
         "COM1 (/dev/ttyUSB0) was disconnected; choose Establish Link when it is back."},
        {2, "COM2", "choose Establish Link when it is back",
         "COM2 was disconnected; choose Establish Link when it is back."},
        {1, "/tmp/qtx/pty 3", "", "COM1 (/tmp/qtx/pty 3) was disconnected."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        console.establishLink(c.port);
        console.portLost(c.port, c.device, c.whenBack);
        EXPECT_EQ(host.text(TextBox::PCtext), c.shown);
    }
}

}  // namespace
}  // namespace qtx::test

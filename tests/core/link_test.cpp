// Opening, the baud menu, Establish Link, the watchdog, closing and a lost port.
#include "console_fixture.hpp"

namespace qtx::test {
namespace {

TEST(LinkStart, OpensCom1AndSwitchesRemoteOnOrLeavesAUsableWindow) {
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

    FakeHost none;
    none.openResult = false;
    none.failureDetail = "/dev/ttyS0: no such device";
    Console without(none);
    without.Form_Load();
    EXPECT_EQ(none.text(TextBox::PCtext), "Unable to open COM1\r\n/dev/ttyS0: no such device");
    EXPECT_FALSE(without.link.portopen);
    EXPECT_EQ(without.link.shortinterval, 0);
    without.mnudownloadlight_Click();
    EXPECT_EQ(none.messageBoxes, std::vector<std::string>{"No COM port is open to QTX"});
    EXPECT_FALSE(none.timerRunning);
    without.closeLink();
    EXPECT_TRUE(none.written.empty());
    EXPECT_EQ(none.endProgramCalls, 1);
}

using LinkTest = ConsoleTest;

TEST_F(LinkTest, BaudMenuThenEstablishLink) {
    const struct {
        std::int32_t speed;
        const char* settings;
        int shortinterval, baudindex;
    } speeds[] = {{19200, "19200,N,8,1", 660, 4},
                  {57600, "57600,N,8,1", 220, 2},
                  {38400, "38400,N,8,1", 330, 3},
                  {115200, "115200,N,8,1", 110, 1},
                  {19200, "19200,N,8,1", 660, 4}};
    for (const auto& s : speeds) {
        console.setBaud(s.speed);
        EXPECT_EQ(host.settingsHistory.back(), s.settings);
        EXPECT_EQ(console.link.shortinterval, s.shortinterval);
        EXPECT_EQ(console.link.baudindex, s.baudindex);
        EXPECT_EQ(console.link.longinterval, 256);
    }
    EXPECT_TRUE(host.written.empty());

    receive(kAck);  // link comes up
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

    host.openResult = false;
    host.written.clear();
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
    EXPECT_EQ(host.written, std::vector<Bytes>{headerRequest(31)});
    EXPECT_EQ(host.timerInterval, 256);
    receive({0xA5, 0x04});  // the reply begins, then stalls
    for (int tick = 1; tick <= 3; ++tick) {
        console.watchdogTick();
        EXPECT_EQ(host.written,
                  std::vector<Bytes>(static_cast<std::size_t>(tick + 1), headerRequest(31)));
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
    const Bytes repeat = host.lastWritten();
    EXPECT_EQ((std::vector<int>{repeat[1], repeat[6], repeat[12]}), (std::vector<int>{0x07, 3, 4}));
}

TEST_F(LinkTest, LosingThePortStopsEverythingAndSaysWhy) {
    console.mnudownloadlight_Click();  // a header request is outstanding
    receive({0xA5, 0x04});
    host.showProgress(Progress{Progress::Kind::Rows, 10, 200});
    const std::size_t writes = host.written.size();
    const std::string why =
        "COM1 (/dev/ttyUSB0) was disconnected; choose Establish Link when it is back.";
    console.portLost(1, "/dev/ttyUSB0", "choose Establish Link when it is back");
    EXPECT_FALSE(console.link.portopen);
    EXPECT_EQ(console.link.rxcount, 0);  // whatever was half received can never complete
    EXPECT_FALSE(console.link.headerok);
    EXPECT_FALSE(host.timerRunning);
    EXPECT_FALSE(host.progressVisible);
    EXPECT_EQ(host.texts.back().text, why);
    EXPECT_TRUE(host.texts.back().repainted);

    // Keys refuse on the closed port; closing sends nothing; Establish Link opens again.
    console.cmdup_Click();
    EXPECT_EQ(host.messageBoxes, std::vector<std::string>{"No COM port is open to QTX"});
    console.closeLink();
    EXPECT_EQ(host.written.size(), writes);
    console.establishLink(1);
    EXPECT_TRUE(console.link.portopen);
    EXPECT_EQ(host.closeCount, 0);  // the shell closed it already
    EXPECT_EQ(host.lastWritten(), kRemoteOn);
    host.written.clear();
    // Closing switches remote off while the port is open, once.
    console.closeLink();
    console.closeLink();
    EXPECT_EQ(host.written, std::vector<Bytes>{kRemoteOff});
    EXPECT_FALSE(host.open);
    EXPECT_FALSE(console.link.portopen);
    EXPECT_EQ(host.endProgramCalls, 3);
}

// The shell gives the port, its device and its own advice; the console words the loss.
TEST_F(LinkTest, LostDeviceIsNamedWithTheShellsAdvice) {
    const struct {
        int port;
        const char *device, *whenBack, *shown;
    } cases[] = {
        {1, "/dev/ttyUSB0", "choose Establish Link when it is back",
         "COM1 (/dev/ttyUSB0) was disconnected; choose Establish Link when it is back."},
        {2, "COM2", "choose Establish Link when it is back",
         "COM2 was disconnected; choose Establish Link when it is back."},
        {1, "/tmp/qtx/pty 3", "", "COM1 (/tmp/qtx/pty 3) was disconnected."},
    };
    for (const auto& c : cases) {
        console.establishLink(c.port);
        console.portLost(c.port, c.device, c.whenBack);
        EXPECT_EQ(host.text(TextBox::PCtext), c.shown);
    }
}

}  // namespace
}  // namespace qtx::test

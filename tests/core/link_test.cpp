#include <algorithm>

#include "console_fixture.hpp"

namespace qtx::test {
namespace {

TEST(LinkStart, OpensCom1OrLeavesAUsableWindow) {
    FakeHost host, none;
    none.openResult = false;
    none.failureDetail = "/dev/ttyS0: no such device";
    Console console(host), without(none);
    console.Form_Load();
    without.Form_Load();
    EXPECT_EQ(host.settingsHistory, std::vector<std::string>{"115200,N,8,2"});
    EXPECT_EQ(host.text(TextBox::PCtext), "Link not established!");
    EXPECT_EQ(none.text(TextBox::PCtext), "Unable to open COM1\r\n/dev/ttyS0: no such device");
    without.mnudownloadlight_Click();
    EXPECT_EQ(none.messageBoxes, std::vector<std::string>{"No COM port is open to QTX"});
}

using LinkTest = ConsoleTest;

TEST_F(LinkTest, BaudMenuThenEstablishLink) {
    for (const auto& [speed, shortinterval] :
         {std::pair{57600, 220}, {38400, 330}, {115200, 110}, {19200, 660}}) {
        console.setBaud(speed);
        EXPECT_EQ(host.settingsHistory.back(), std::to_string(speed) + ",N,8,1");
        receive(headerFrame({}));  // a header restarts the watchdog at the short interval
        EXPECT_EQ(host.timerInterval, shortinterval);
        console.establishLink(1);  // two stop bits, and the intervals of 115200 baud
        EXPECT_EQ(host.settingsHistory.back(), std::to_string(speed) + ",N,8,2");
        receive(headerFrame({}));
        EXPECT_EQ(host.timerInterval, 110);
    }
    EXPECT_EQ(host.closeCount, 4);
    receive(kAck);          // the link comes up
    receive({0xA5, 0x09});  // a piece of a frame stays buffered
    console.establishLink(1);
    EXPECT_EQ(host.texts.back().text, "Link not established");
    EXPECT_EQ(host.lastWritten(), kRemoteOn);
    receive(kAck);  // nothing held from before, and the link comes up again
    EXPECT_EQ(host.texts.back().text, "Link Established");

    host.openResult = false;
    host.written.clear();
    console.establishLink(2);
    EXPECT_EQ(host.text(TextBox::PCtext), "COM2 not available");
    console.mnudownloadlight_Click();
    EXPECT_EQ(host.messageBoxes, std::vector<std::string>{"No COM port is open to QTX"});
    EXPECT_TRUE(host.written.empty());
    host.openResult = true;
    console.establishLink(2);
    EXPECT_EQ(host.openedPort, 2);
}

TEST_F(LinkTest, WatchdogRepeatsThreeTimesThenFails) {
    console.mnudownloadlight_Click();
    const Bytes header = headerFrame({});  // its reply begins, then stalls
    receive(Bytes(header.begin(), header.begin() + 8));
    receive(Bytes(header.begin() + 8, header.begin() + 20));
    // Each piece restarts the watchdog at the short interval.
    EXPECT_EQ(std::ranges::count(host.timerEvents, TimerEvent::Start, &TimerEvent::kind), 3);
    EXPECT_EQ(host.timerInterval, 110);
    for (int tick = 1; tick <= 4; ++tick) console.watchdogTick();
    EXPECT_EQ(host.written, std::vector<Bytes>(4, headerRequest(31)));
    EXPECT_FALSE(host.timerRunning || !host.texts.back().repainted);
    // The next download gets its own four tries.
    console.mnudownloadlight_Click();
    for (int tick = 1; tick <= 3; ++tick) console.watchdogTick();
    EXPECT_EQ(host.written, std::vector<Bytes>(8, headerRequest(31)));
    console.watchdogTick();
    EXPECT_EQ(host.texts.back().text, "Communication Failed");
    // The header path keeps what arrived: its rest still completes the header.
    EXPECT_EQ(answer(Bytes(header.begin() + 20, header.end())), kRow10);
}

// The shell gives the port, its device and its own advice; the console words the loss.
TEST_F(LinkTest, LosingThePortStopsEverythingAndSaysWhy) {
    const Bytes header = headerFrame({});
    for (const auto& [port, device, whenBack, shown] :
         {std::tuple{2, "COM2", "plug it in", "COM2 was disconnected; plug it in."},
          {1, "/tmp/qtx/pty 3", "", "COM1 (/tmp/qtx/pty 3) was disconnected."}}) {
        console.establishLink(port);
        console.mnudownloadlight_Click();
        receive(Bytes(header.begin(), header.begin() + 8));  // half a header
        host.showProgress(Progress{});
        console.portLost(port, device, whenBack);
        EXPECT_EQ(host.text(TextBox::PCtext), shown);
        EXPECT_FALSE(host.timerRunning || host.progressVisible);
        // Whatever was half received can never complete.
        receive(Bytes(header.begin() + 8, header.end()));
        EXPECT_TRUE(host.eventsOf<ImageStarted>().empty());
    }
    // Closing sends nothing on the closed port; Establish Link opens it again.
    host.written.clear();
    host.closeCount = 0;
    console.closeLink();
    EXPECT_TRUE(host.written.empty());
    console.establishLink(1);
    EXPECT_EQ(host.closeCount, 0);  // the shell closed it already
    host.written.clear();
    console.closeLink();  // remote off while the port is open, once
    console.closeLink();
    EXPECT_EQ(host.written, std::vector<Bytes>{kRemoteOff});
}

}  // namespace
}  // namespace qtx::test

#include <algorithm>
#include <filesystem>

#include "console_fixture.hpp"

namespace qtx::test {
namespace {

const std::string kSuccess = "Code succesfully uploaded - QTX restarting";

class UploadTest : public ConsoleTest {
  protected:
    std::string file(const std::string& name, const Bytes& bytes) {
        TempDir::write(tmp.path(name), std::string(bytes.begin(), bytes.end()));
        return tmp.path(name);
    }
};

TEST_F(UploadTest, BadChoicesAreRefusedAndNothingIsSent) {
    const std::string name = "QTX code will be in a '.bin' file";
    const std::string length = "File length doesn not match expected '.bin' file";
    const std::string crc = "Code CRC check failed - code file is bad";
    Bytes changed = codeImage(0x81E9);
    changed[98299] ^= 1;
    const std::pair<std::string, std::string> cases[] = {
        {"", name},  // cancelled
        {file("CODE.BIN", codeImage(0x81E9)), name},
        {file("short.bin", Bytes(98303, 0)), length},
        {file("long.bin", Bytes(98305, 0)), length},
        {tmp.path("absent.bin"), length},
        {file("swapped.bin", codeImage(0xE981)), crc},  // CRC stored low byte first
        {file("changed.bin", changed), crc},            // the last checked byte changed
    };
    for (const auto& [path, message] : cases) {
        host = FakeHost{};
        host.fileAnswers = {path};
        console.mnuUploadFile_Click();
        EXPECT_EQ(host.messageBoxes, std::vector<std::string>{message}) << path;
        EXPECT_TRUE(console.linkState().pendingop == PendingOp::Key && host.written.empty() &&
                    host.timerEvents.empty() && host.texts.empty());
    }
    // A closed port is refused before anything else.
    console.portLost(1, "COM1", "");
    host = FakeHost{};
    console.mnuUploadFile_Click();
    EXPECT_EQ(host.messageBoxes, std::vector<std::string>{"No COM port is open to QTX"});
    EXPECT_TRUE(host.fileDialogs.empty());
}

// Golden frames of a whole upload driven by acknowledgements.
TEST_F(UploadTest, AcknowledgementsCarryTheImageThroughAndTheQtxIsSwitchedBack) {
    beginUpload();
    EXPECT_EQ(host.written, std::vector<Bytes>{kCodeBegin});
    EXPECT_TRUE(host.fileDialogs.at(0).open);
    EXPECT_EQ(pcTexts(),
              (std::vector<std::string>{"File CRC check passed - programming QTX",
                                        " PageNumber =  0 of 192 being sent\r\n 0 retries"}));
    acks(192);
    ASSERT_EQ(host.written.size(), 193U);
    for (int page = 0; page < 192; ++page)
        EXPECT_EQ(host.written[static_cast<std::size_t>(page) + 1][6], page + 64) << page;
    const Bytes& last = host.written[192];
    EXPECT_EQ(Bytes(host.written[1].begin(), host.written[1].begin() + 12),
              (Bytes{0xA5, 0xFC, 0x02, 0x02, 0xA5, 0x01, 0x40, 0x00, 0x0A, 0x03, 0x18, 0x11}));
    EXPECT_EQ(Bytes(last.begin(), last.begin() + 12),
              (Bytes{0xA5, 0xFC, 0x02, 0x02, 0xA5, 0x01, 0xFF, 0x00, 0xC9, 0xC2, 0xD7, 0xD0}));
    EXPECT_EQ(Bytes(last.begin() + 516, last.end() - 2), (Bytes{0xCD, 0xAB, 0xE9, 0x81}));

    receive(kAck);  // page 191 taken: the end frame
    EXPECT_EQ(host.lastWritten(),
              (Bytes{0xA5, 0xFA, 0x04, 0x00, 0xA3, 0x01, 0x20, 0x00, 0xE9, 0x81, 0x8A, 0x01}));
    EXPECT_FALSE(host.timerRunning);

    receive(kAck);  // the code is in
    EXPECT_EQ(host.texts.back().text, kSuccess);
    EXPECT_TRUE(console.linkState().pendingop == PendingOp::Key && !host.progressVisible);
    EXPECT_EQ(host.oneShotInterval, 2000);
    console.oneShotElapsed();
    console.oneShotElapsed();  // a stray second expiry sends nothing more
    EXPECT_EQ(host.written.size(), 195U);
    EXPECT_EQ(host.lastWritten(), kRemoteOn);
}

// Upload frames are resent no sooner than twice a page's time on the line.
TEST_F(UploadTest, ResendIntervalFollowsTheSpeed) {
    for (const auto& [speed, reopen, interval] : {std::tuple{115200, false, 110},
                                                  {57600, false, 220},
                                                  {38400, true, 300},
                                                  {19200, true, 599}}) {
        console.setBaud(speed);
        if (reopen) console.establishLink(1);  // the short interval of 115200 baud
        beginUpload();
        EXPECT_EQ(host.timerInterval, interval) << speed;
        receive(kAck);
        console.watchdogTick();
        EXPECT_EQ(host.timerInterval, interval) << speed;
        console.cmdfocus_Click();  // ends this upload
    }
}

TEST_F(UploadTest, WatchdogResendsThenFailsAndALateAcknowledgementContinues) {
    // A download had the watchdog running and ended in failure.
    console.mnudownloadlight_Click();
    for (int tick = 1; tick <= 4; ++tick) console.watchdogTick();
    host.written.clear();
    beginUpload();
    console.watchdogTick();  // the begin frame again, not a stale page
    EXPECT_EQ(host.written, (std::vector<Bytes>{kCodeBegin, kCodeBegin}));
    EXPECT_EQ(host.text(TextBox::PCtext), " PageNumber =  0 of 192 being sent\r\n 1 retries");

    // The begin frame went twice: page 0 waits for the second answer, which looks the same.
    exchange({{kAck, {}}});
    const Bytes page0 = answer(kAck);
    EXPECT_EQ(page0[6], 0x40);
    for (int tick = 1; tick <= 3; ++tick) console.watchdogTick();
    EXPECT_EQ(host.written,
              (std::vector<Bytes>{kCodeBegin, kCodeBegin, page0, page0, page0, page0}));
    console.watchdogTick();
    EXPECT_EQ(host.written.size(), 6U);
    EXPECT_EQ(host.text(TextBox::PCtext), "Communication Failed");
    EXPECT_FALSE(host.timerRunning || host.progressVisible);

    // Late, but the QTX took page 0: page 1 waits for the answers to the other copies.
    exchange({{kAck, {}}});
    EXPECT_EQ(host.progress.back(), (Progress{Progress::Kind::Pages, 1, 192, 4}));
    EXPECT_TRUE(host.timerRunning);
    exchange({{kAck, {}}, {kAck, {}}});
    // The last copy's answer never comes: after the patience ticks page 1 goes.
    for (int tick = 1; tick <= 3; ++tick) console.watchdogTick();
    EXPECT_EQ(host.lastWritten()[6], 0x41);
}

TEST_F(UploadTest, UnansweredEndFrameFailsAfterAWaitAndALateAnswerStillCompletes) {
    receive(kAck);  // the link is up
    beginUpload(193);
    EXPECT_GE(host.oneShotInterval, 2000);
    // Even a watchdog started by other traffic does not repeat the end frame.
    console.watchdogRestart(256);
    console.watchdogTick();
    console.oneShotElapsed();
    EXPECT_EQ(host.text(TextBox::PCtext), "Communication Failed");
    EXPECT_EQ(host.written.size(), 194U);

    // The late answer and the QTX's next display in one read: the display is shown too.
    receive(kAck + kDisplayAllA);
    EXPECT_EQ(host.texts.back().box, TextBox::QTXText);
    EXPECT_EQ(host.text(TextBox::PCtext), kSuccess);
    console.oneShotElapsed();
    EXPECT_EQ(host.lastWritten(), kRemoteOn);
}

// Whatever takes the link from an upload ends it, says so, and no success follows.
TEST_F(UploadTest, AbandonedUploadSaysSoAndNeverClaimsSuccess) {
    using Interrupt = void (*)(Console&);
    const std::pair<const char*, Interrupt> interrupts[] = {
        {"keypad", [](Console& c) { c.cmdup_Click(); }},
        {"establish link", [](Console& c) { c.establishLink(1); }},
        {"port lost", [](Console& c) { c.portLost(1, "/dev/ttyUSB0", ""); }},
    };
    for (const auto& [what, interrupt] : interrupts) {
        for (int count : {0, 1, 193}) {  // waiting for the begin, a page, the end frame
            SCOPED_TRACE(std::string(what) + " after " + std::to_string(count) + " acks");
            host = FakeHost{};
            console.Form_Load();
            beginUpload(count);
            interrupt(console);
            EXPECT_EQ(host.messageBoxes, std::vector<std::string>{
                                             "Code upload abandoned - upload the code file again"});
            EXPECT_FALSE(host.timerRunning || host.oneShotRunning || host.progressVisible);
            const std::size_t sent = host.written.size();
            receive(kAck);
            console.oneShotElapsed();
            EXPECT_EQ(host.written.size(), sent);
            EXPECT_EQ(std::ranges::count(pcTexts(), kSuccess), 0);
            EXPECT_NE(host.text(TextBox::PCtext), "Communication Failed");
        }
    }
    // Nothing to abandon: a key between uploads says nothing more.
    console.Form_Load();
    host.messageBoxes.clear();
    console.cmdup_Click();
    EXPECT_TRUE(host.messageBoxes.empty());
}

}  // namespace
}  // namespace qtx::test

#include "console_fixture.hpp"

namespace qtx::test {
namespace {

using FrontPanelTest = ConsoleTest;

std::uint16_t keyOf(const Bytes& frame) {
    return static_cast<std::uint16_t>(frame.at(6) | (frame.at(7) << 8));
}

TEST_F(FrontPanelTest, EveryKeySendsItsCodeAndTurboAddsItsBitToTheArrows) {
    using Click = void (Console::*)();
    const struct {
        Click click;
        std::uint16_t plain, turbo;
    } keys[] = {
        {&Console::cmdfocus_Click, 0x0001, 0x0001},
        {&Console::cmdimage_Click, 0x0002, 0x0002},
        {&Console::cmdmonitor_Click, 0x0004, 0x0004},
        {&Console::cmdcalibrate_Click, 0x0100, 0x0100},
        {&Console::cmdtrack_Click, 0x0200, 0x0200},
        {&Console::cmddisplay_Click, 0x0400, 0x0400},
        {&Console::cmdfileops_Click, 0x0800, 0x0800},
        {&Console::cmdparameter_Click, 0x0010, 0x0010},
        {&Console::cmdvalue_Click, 0x0040, 0x0040},
        {&Console::cmddown_Click, 0x1000, 0x1008},
        {&Console::cmdup_Click, 0x2000, 0x2008},
        {&Console::cmdright_Click, 0x4000, 0x4008},
        {&Console::cmdleft_Click, 0x8000, 0x8008},
        {&Console::cmdsetup_Click, 0x0020, 0x0020},
        {&Console::cmdinterrupt_Click, 0x0080, 0x0080},
    };
    for (bool turbo : {false, true, false}) {
        if (turbo != console.panel.turbo) {  // the turbo key itself: on 0x0008, off 0x0000
            console.cmdturbo_Click();
            EXPECT_EQ(keyOf(host.lastWritten()), turbo ? 0x0008 : 0x0000);
            EXPECT_EQ(host.turboColours.back(), turbo ? (Colour{0, 255, 0}) : (Colour{255, 0, 0}));
        }
        for (const auto& k : keys) {
            console.link.pendingop = PendingOp::CodePage;
            (console.*k.click)();
            EXPECT_EQ(keyOf(host.lastWritten()), turbo ? k.turbo : k.plain);
            EXPECT_EQ(host.text(TextBox::PCtext), "Keypress not acknowledged");
            EXPECT_EQ(console.link.pendingop, PendingOp::Key);
        }
    }
}

TEST_F(FrontPanelTest, ParameterRepaintsItsStatus) {
    console.cmdparameter_Click();
    ASSERT_EQ(host.texts.size(), 1U);
    EXPECT_TRUE(host.texts.back().repainted);
    console.cmdvalue_Click();
    EXPECT_FALSE(host.texts.back().repainted);
}

TEST_F(FrontPanelTest, LoadStartsTurboOffAndRed) {
    console.cmdturbo_Click();
    host.turboColours.clear();
    console.Form_Load();
    EXPECT_EQ(host.turboColours, std::vector<Colour>{(Colour{255, 0, 0})});
    console.cmdup_Click();
    EXPECT_EQ(keyOf(host.lastWritten()), 0x2000);
}

TEST_F(FrontPanelTest, ClosedPortStillTogglesTurbo) {
    console.link.portopen = false;
    console.cmdturbo_Click();
    EXPECT_TRUE(console.panel.turbo);
    EXPECT_EQ(host.messageBoxes, std::vector<std::string>{"No COM port is open to QTX"});
    EXPECT_EQ(host.text(TextBox::PCtext), "Keypress not acknowledged");
    EXPECT_TRUE(host.written.empty());
}

TEST_F(FrontPanelTest, InterruptEndsADownloadAll) {
    console.reception.downloadall = true;
    console.reception.bufferpending.fill(true);
    console.cmdinterrupt_Click();
    EXPECT_FALSE(console.reception.downloadall);
    for (bool pending : console.reception.bufferpending) EXPECT_FALSE(pending);
    EXPECT_EQ(host.written.size(), 1U);  // only the key
}

}  // namespace
}  // namespace qtx::test

#include <utility>

#include "console_fixture.hpp"

namespace qtx::test {
namespace {

using FrontPanelTest = ConsoleTest;

std::uint16_t keyOf(const Bytes& frame) {
    return static_cast<std::uint16_t>(frame.at(6) | (frame.at(7) << 8));
}

// Every key sends its code and ends an upload; turbo adds its bit to the four arrows (the
// last four keys here).
TEST_F(FrontPanelTest, EveryKeySendsItsCodeAndTurboAddsItsBitToTheArrows) {
    using Click = void (Console::*)();
    const Click clicks[] = {
        &Console::cmdfocus_Click,     &Console::cmdimage_Click,     &Console::cmdmonitor_Click,
        &Console::cmdcalibrate_Click, &Console::cmdtrack_Click,     &Console::cmddisplay_Click,
        &Console::cmdfileops_Click,   &Console::cmdparameter_Click, &Console::cmdvalue_Click,
        &Console::cmdsetup_Click,     &Console::cmdinterrupt_Click, &Console::cmddown_Click,
        &Console::cmdup_Click,        &Console::cmdright_Click,     &Console::cmdleft_Click};
    const std::uint16_t codes[] = {0x0001, 0x0002, 0x0004, 0x0100, 0x0200, 0x0400, 0x0800, 0x0010,
                                   0x0040, 0x0020, 0x0080, 0x1000, 0x2000, 0x4000, 0x8000};
    std::size_t ended = 0;
    bool on = false;
    for (bool turbo : {false, true, false}) {
        if (std::exchange(on, turbo) != turbo) {
            console.cmdturbo_Click();  // the turbo key itself: on 0x0008, off 0x0000
            EXPECT_EQ(keyOf(host.lastWritten()), turbo ? 0x0008 : 0x0000);
            EXPECT_EQ(host.turboColours.back(), turbo ? (Colour{0, 255, 0}) : (Colour{255, 0, 0}));
        }
        for (std::size_t k = 0; k < std::size(clicks); ++k) {
            beginUpload(1);  // a page awaits its acknowledgement
            (console.*clicks[k])();
            EXPECT_EQ(keyOf(host.lastWritten()), codes[k] | (turbo && k >= 11 ? 0x0008 : 0)) << k;
            EXPECT_EQ(host.texts.back().text, "Keypress not acknowledged");
            EXPECT_EQ(host.eventsOf<UploadEnded>().size(), ++ended);
        }
    }
    console.cmdup_Click();
    EXPECT_EQ(host.lastWritten(), kKeyUp);
}

}  // namespace
}  // namespace qtx::test

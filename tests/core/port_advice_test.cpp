#include "link/port_advice.hpp"

#include <gtest/gtest.h>

#include "link/port_list.hpp"

namespace qtx {
namespace {

// How the facts differ from an FTDI adapter the user may open, and the advice they give.
struct Case {
    bool exists = true, accessible = true, inGroup = false, builtIn = false;
    std::uint32_t mode = 0660;
    const char* group = "dialout";
    std::vector<PortHolder> holders{};
    std::vector<std::string> daemons{};
    int latency = 1;
    std::vector<std::string> advice{};
};

TEST(PortAdvice, NamesTheCauseAndTheRemedy) {
    const std::string d = "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0";
    const std::string mm = "sudo systemctl stop ModemManager, or disable it when no modem is used.";
    const std::string brl = "sudo systemctl stop brltty-udev brltty, or remove the brltty package";
    const auto denied = [&](const std::string& group) {
        return d + " belongs to group " + group + ", which this user is not in: sudo usermod -aG " +
               group + " $USER, then log out and in again.";
    };
    const std::string heldByMm =
        d + " is held by ModemManager (pid 812), which probes serial ports for modems: " + mm;
    const std::string slow = d +
                             ": the FTDI latency timer is 16 ms, which delays every reply (1 ms is "
                             "best): echo 1 | sudo tee /sys/bus/usb-serial/devices/ttyUSB0/"
                             "latency_timer";
    const Case cases[] = {
        {},
        {.accessible = false, .advice = {denied("dialout")}},
        {.accessible = false, .inGroup = true},
        {.accessible = false, .mode = 0600},  // the group may not open it either
        {.holders = {{4242, "minicom"}, {77, ""}},
         .advice = {d + " is in use by minicom (pid 4242), process 77: close those programs."}},
        {.holders = {{5, "minicom"}, {812, "ModemManager"}},
         .advice = {heldByMm, d + " is in use by minicom (pid 5): close that program."}},
        {.holders = {{812, "ModemManager"}}, .daemons = {"ModemManager"}, .advice = {heldByMm}},
        {.holders = {{90, "brltty"}},
         .advice = {d + " is held by brltty (pid 90), which takes adapters for braille displays: " +
                    brl + "."}},
        {.daemons = {"ModemManager"},
         .advice = {"ModemManager is running and may open " + d +
                    " to probe it for a modem, which disturbs the link: " + mm}},
        {.builtIn = true, .daemons = {"ModemManager"}},
        {.exists = false,
         .daemons = {"brltty"},
         .advice = {d +
                    " is missing while brltty runs, which takes some USB serial adapters "
                    "(CH340/CH341) for a braille display: " +
                    brl + ", then plug the adapter in again."}},
        {.exists = false, .builtIn = true, .daemons = {"brltty"}},
        {.latency = 16, .advice = {slow}},
        {.accessible = false, .latency = 16, .advice = {denied("dialout"), slow}},
    };
    for (const Case& c : cases) {
        PortFacts f{d,       "/dev/ttyUSB0", c.exists,  c.accessible, c.mode,    20,
                    c.group, {1000, 27},     c.holders, c.daemons,    c.latency, "ftdi_sio"};
        if (c.builtIn) f.device = f.target = "/dev/ttyS0";
        if (c.inGroup) f.processGroups.push_back(20);
        const auto advice = portAdvice(f);
        EXPECT_EQ(advice, c.advice);
        // An open that failed is explained by the first line, never by the latency timer.
        EXPECT_EQ(openFailureAdvice(f), advice.empty() || advice[0] == slow ? "" : advice[0]);
    }
}

// Each port in a block with its advice, then what concerns the whole machine: only brltty.
TEST(PortList, OneBlockAPortWithItsAdviceThenTheMachine) {
    const PortEntry ftdi{"/dev/ttyUSB0",
                         {"/dev/serial/by-id/usb-FTDI_FT232R_A50285BI-if00-port0"},
                         "FT232R USB UART",
                         "FTDI",
                         "A50285BI",
                         "ftdi_sio",
                         {"/dev/ttyUSB0 is in use by minicom (pid 4242): close that program."}};
    PortEntry builtIn;
    builtIn.device = "/dev/ttyS0";
    EXPECT_EQ(machineNotes({"ModemManager"}), std::vector<std::string>{});
    // Each port a block, its advice marked, then what concerns the whole machine.
    const std::string text =
        portListText(std::vector{ftdi, builtIn}, machineNotes({"ModemManager", "brltty"}));
    EXPECT_NE(text.find("  driver         ftdi_sio\n  ! /dev/ttyUSB0 is in use by minicom (pid "
                        "4242): close that program.\n\n/dev/ttyS0\n\nbrltty is running; it takes"),
              std::string::npos)
        << text;
    EXPECT_EQ(portListText({}, {}), "No serial ports found.\n");

    EXPECT_EQ(portSummary(ftdi, 2), "/dev/ttyUSB0 - FT232R USB UART  (COM2)");
    EXPECT_EQ(rememberedName(ftdi) + " " + rememberedName(builtIn), ftdi.byId[0] + " /dev/ttyS0");
    EXPECT_TRUE(namesPort(ftdi, "/dev/ttyUSB0") && namesPort(ftdi, ftdi.byId[0]));
    EXPECT_FALSE(namesPort(ftdi, "/dev/ttyUSB1") || namesPort(builtIn, ""));
}

}  // namespace
}  // namespace qtx

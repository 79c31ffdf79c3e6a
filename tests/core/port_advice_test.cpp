#include "link/port_advice.hpp"

#include <gtest/gtest.h>

#include <functional>

#include "link/port_list.hpp"

namespace qtx {
namespace {

// An FTDI adapter the user may open, its by-id name leading to ttyUSB0, nothing in the way.
PortFacts usable() {
    PortFacts f;
    f.device = "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0";
    f.target = "/dev/ttyUSB0";
    f.exists = true;
    f.accessible = true;
    f.mode = 0660;
    f.gid = 20;
    f.groupName = "dialout";
    f.processGroups = {1000, 27};
    f.driver = "ftdi_sio";
    f.latencyTimerMs = 1;
    return f;
}

TEST(PortAdvice, NamesTheCauseAndTheRemedy) {
    const std::string d = "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0";
    const std::string mm = "sudo systemctl stop ModemManager, or disable it when no modem is used.";
    const std::string denied = d +
                               " belongs to group dialout, which this user is not in: sudo "
                               "usermod -aG dialout $USER, then log out and in again.";
    const struct {
        const char* what;
        std::function<void(PortFacts&)> change;
        std::vector<std::string> advice;
    } cases[] = {
        {"nothing in the way", [](PortFacts&) {}, {}},
        {"not in the node's group", [](PortFacts& f) { f.accessible = false; }, {denied}},
        {"a group without a name",
         [](PortFacts& f) {
             f.accessible = false;
             f.groupName.clear();
         },
         {d + " belongs to group 20, which this user is not in: sudo usermod -aG 20 $USER, then "
              "log out and in again."}},
        {"in the group already",
         [](PortFacts& f) {
             f.accessible = false;
             f.processGroups.push_back(20);
         },
         {}},
        {"the group may not open it either",
         [](PortFacts& f) {
             f.accessible = false;
             f.mode = 0600;
         },
         {}},
        {"held by a terminal program",
         [](PortFacts& f) {
             f.holders = {{4242, "minicom"}, {77, ""}};
         },
         {d + " is in use by minicom (pid 4242), process 77: close those programs."}},
        {"held by ModemManager and a terminal program",
         [](PortFacts& f) {
             f.holders = {{5, "minicom"}, {812, "ModemManager"}};
         },
         {d + " is held by ModemManager (pid 812), which probes serial ports for modems: " + mm,
          d + " is in use by minicom (pid 5): close that program."}},
        {"held by ModemManager, which runs",
         [](PortFacts& f) {
             f.holders = {{812, "ModemManager"}};
             f.daemons = {"ModemManager"};
         },
         {d + " is held by ModemManager (pid 812), which probes serial ports for modems: " + mm}},
        {"held by brltty",
         [](PortFacts& f) {
             f.holders = {{90, "brltty"}};
         },
         {d + " is held by brltty (pid 90), which takes adapters for braille displays: sudo "
              "systemctl stop brltty-udev brltty, or remove the brltty package."}},
        {"ModemManager runs beside a USB adapter",
         [](PortFacts& f) { f.daemons = {"ModemManager"}; },
         {"ModemManager is running and may open " + d +
          " to probe it for a modem, which disturbs the link: " + mm}},
        {"ModemManager runs beside a built-in port",
         [](PortFacts& f) {
             f.device = f.target = "/dev/ttyS0";
             f.daemons = {"ModemManager"};
         },
         {}},
        {"a USB adapter gone while brltty runs",
         [](PortFacts& f) {
             f.exists = false;
             f.daemons = {"brltty"};
         },
         {d + " is missing while brltty runs, which takes some USB serial adapters (CH340/CH341) "
              "for a braille display: sudo systemctl stop brltty-udev brltty, or remove the "
              "brltty package, then plug the adapter in again."}},
        {"a built-in port gone while brltty runs",
         [](PortFacts& f) {
             f.exists = false;
             f.device = f.target = "/dev/ttyS1";
             f.daemons = {"brltty"};
         },
         {}},
        {"brltty runs, the adapter is there", [](PortFacts& f) { f.daemons = {"brltty"}; }, {}},
        {"a slow FTDI latency timer, and no permission",
         [](PortFacts& f) {
             f.latencyTimerMs = 16;
             f.accessible = false;
         },
         {denied,
          d + ": the FTDI latency timer is 16 ms, which delays every reply (1 ms is "
              "best): echo 1 | sudo tee /sys/bus/usb-serial/devices/ttyUSB0/latency_timer"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PortFacts facts = usable();
        c.change(facts);
        const auto advice = portAdvice(facts);
        EXPECT_EQ(advice, c.advice);
        // An open that failed is explained by the first line, never by the latency timer.
        const bool slowOnly = facts.latencyTimerMs > 1 && advice.size() == 1;
        EXPECT_EQ(openFailureAdvice(facts), advice.empty() || slowOnly ? "" : advice.front());
    }
}

TEST(PortAdvice, OnlyBrlttyConcernsTheWholeMachine) {
    EXPECT_EQ(machineNotes({"ModemManager"}), std::vector<std::string>{});
    const auto notes = machineNotes({"ModemManager", "brltty"});
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_TRUE(notes[0].starts_with("brltty is running; it takes some USB serial adapters"));
}

TEST(PortList, OneBlockAPortWithItsAdvice) {
    PortEntry ftdi;
    ftdi.device = "/dev/ttyUSB0";
    ftdi.byId = {"/dev/serial/by-id/usb-FTDI_FT232R_A50285BI-if00-port0"};
    ftdi.description = "FT232R USB UART";
    ftdi.manufacturer = "FTDI";
    ftdi.serialNumber = "A50285BI";
    ftdi.driver = "ftdi_sio";
    ftdi.advice = {"/dev/ttyUSB0 is in use by minicom (pid 4242): close that program."};
    PortEntry builtIn;
    builtIn.device = "/dev/ttyS0";

    const std::vector<PortEntry> both = {ftdi, builtIn};
    const std::vector<std::string> note = {"brltty is running."};
    EXPECT_EQ(portListText(both, note),
              "/dev/ttyUSB0\n"
              "  by-id          /dev/serial/by-id/usb-FTDI_FT232R_A50285BI-if00-port0\n"
              "  description    FT232R USB UART\n"
              "  manufacturer   FTDI\n"
              "  serial number  A50285BI\n"
              "  driver         ftdi_sio\n"
              "  ! /dev/ttyUSB0 is in use by minicom (pid 4242): close that program.\n"
              "\n"
              "/dev/ttyS0\n"
              "\n"
              "brltty is running.\n");
    EXPECT_EQ(portListText({}, {}), "No serial ports found.\n");

    EXPECT_EQ(portSummary(ftdi, 2), "/dev/ttyUSB0 - FT232R USB UART  (COM2)");
    EXPECT_EQ(portSummary(builtIn, 0), "/dev/ttyS0");
    EXPECT_EQ(rememberedName(ftdi), ftdi.byId[0]);
    EXPECT_EQ(rememberedName(builtIn), "/dev/ttyS0");
    EXPECT_TRUE(namesPort(ftdi, "/dev/ttyUSB0"));
    EXPECT_TRUE(namesPort(ftdi, ftdi.byId[0]));
    EXPECT_FALSE(namesPort(ftdi, "/dev/ttyUSB1"));
    EXPECT_FALSE(namesPort(builtIn, ""));
}

}  // namespace
}  // namespace qtx

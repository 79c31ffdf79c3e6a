// What the machine says about a serial device, and the advice it gives: a device the user may
// not open, one that another program holds, an adapter that a modem or braille daemon takes,
// an FTDI adapter that holds replies back. The facts are gathered by the shell; judging them
// here keeps every case checkable without the hardware.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qtx {

struct PortHolder {
    int pid = 0;
    std::string name;  // the program's name as the system gives it ("minicom")
    friend bool operator==(const PortHolder&, const PortHolder&) = default;
};

struct PortFacts {
    std::string device;  // as the user names it ("/dev/serial/by-id/usb-FTDI_...", "/dev/ttyUSB0")
    std::string target;  // the device node it leads to ("/dev/ttyUSB0")
    bool exists = false;
    bool accessible = false;  // this process may read and write it (permissions and ACLs)
    std::uint32_t mode = 0;   // permission bits of the node
    std::uint32_t gid = 0;
    std::string groupName;                     // of gid, "" when it has none
    std::vector<std::uint32_t> processGroups;  // effective and supplementary
    std::vector<PortHolder> holders;           // other processes that have it open
    std::vector<std::string> daemons;          // of ModemManager and brltty, those running
    std::optional<int> latencyTimerMs;         // of an FTDI adapter
    std::string driver;                        // "ftdi_sio", "cdc_acm", "serial8250", ...
};

// The daemons whose running matters to a serial adapter.
inline constexpr const char* kModemManager = "ModemManager";
inline constexpr const char* kBrltty = "brltty";

// Every piece of advice, most pressing first, one line each.
std::vector<std::string> portAdvice(const PortFacts& facts);

// Why the device may not have opened, when the facts tell ("" when they do not).
std::string openFailureAdvice(const PortFacts& facts);

// Advice about the machine rather than one port: a braille daemon can take an adapter away
// before it is ever listed.
std::vector<std::string> machineNotes(const std::vector<std::string>& daemons);

// A USB serial adapter as its tty name shows it (ttyUSB*, ttyACM*).
bool isUsbSerial(const std::string& target);

}  // namespace qtx

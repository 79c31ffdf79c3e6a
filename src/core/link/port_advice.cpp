#include "link/port_advice.hpp"

#include <algorithm>

#include "text/numtext.hpp"

namespace qtx {

namespace {

std::string whole(std::int64_t value) { return formatPattern(static_cast<double>(value), "0"); }

bool contains(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

std::string baseName(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

const std::string kStopModemManager =
    "sudo systemctl stop ModemManager, or disable it when no modem is used.";
const std::string kStopBrltty =
    "sudo systemctl stop brltty-udev brltty, or remove the brltty package";

// The user may not open the node only for want of its group, which the group would grant.
bool lacksGroup(const PortFacts& f) {
    if (!f.exists || f.accessible) return false;
    if (std::find(f.processGroups.begin(), f.processGroups.end(), f.gid) != f.processGroups.end()) {
        return false;
    }
    return (f.mode & 060u) == 060u;
}

bool holdsIt(const PortFacts& f, const std::string& name) {
    return std::any_of(f.holders.begin(), f.holders.end(),
                       [&](const PortHolder& h) { return h.name == name; });
}

struct Advice {
    std::vector<std::string> blocking;  // each can keep the device from opening or working
    std::vector<std::string> tuning;
};

Advice judge(const PortFacts& f) {
    Advice advice;
    const std::string& d = f.device;
    const bool usb = isUsbSerial(f.target) || d.find("/serial/by-id/usb-") != std::string::npos;

    // brltty claims some adapters for itself, and their tty vanishes a moment after plugging.
    if (!f.exists && usb && contains(f.daemons, kBrltty)) {
        advice.blocking.push_back(d +
                                  " is missing while brltty runs, which takes some USB serial "
                                  "adapters (CH340/CH341) for a braille display: " +
                                  kStopBrltty + ", then plug the adapter in again.");
    }
    if (lacksGroup(f)) {
        const std::string group = f.groupName.empty() ? whole(f.gid) : f.groupName;
        advice.blocking.push_back(d + " belongs to group " + group +
                                  ", which this user is not in: sudo usermod -aG " + group +
                                  " $USER, then log out and in again.");
    }
    // Every other program in one line: on a pseudo-terminal the simulator holding its end is
    // named beside the program that keeps the console out.
    std::string others;
    std::size_t otherCount = 0;
    for (const PortHolder& h : f.holders) {
        const std::string who =
            h.name.empty() ? "process " + whole(h.pid) : h.name + " (pid " + whole(h.pid) + ")";
        if (h.name == kModemManager) {
            advice.blocking.push_back(
                d + " is held by " + who +
                ", which probes serial ports for modems: " + kStopModemManager);
        } else if (h.name == kBrltty) {
            advice.blocking.push_back(
                d + " is held by " + who +
                ", which takes adapters for braille displays: " + kStopBrltty + ".");
        } else {
            others += (others.empty() ? "" : ", ") + who;
            ++otherCount;
        }
    }
    if (otherCount > 0) {
        advice.blocking.push_back(
            d + " is in use by " + others +
            (otherCount == 1 ? ": close that program." : ": close those programs."));
    }
    if (f.exists && usb && contains(f.daemons, kModemManager) && !holdsIt(f, kModemManager)) {
        advice.blocking.push_back(
            "ModemManager is running and may open " + d +
            " to probe it for a modem, which disturbs the link: " + kStopModemManager);
    }
    if (f.latencyTimerMs && *f.latencyTimerMs > 1) {
        advice.tuning.push_back(d + ": the FTDI latency timer is " + whole(*f.latencyTimerMs) +
                                " ms, which delays every reply (1 ms is best): echo 1 | sudo tee "
                                "/sys/bus/usb-serial/devices/" +
                                baseName(f.target) + "/latency_timer");
    }
    return advice;
}

}  // namespace

bool isUsbSerial(const std::string& target) {
    const std::string name = baseName(target);
    return name.starts_with("ttyUSB") || name.starts_with("ttyACM");
}

std::vector<std::string> machineNotes(const std::vector<std::string>& daemons) {
    if (!contains(daemons, kBrltty)) return {};
    return {
        "brltty is running; it takes some USB serial adapters (CH340/CH341) for a braille "
        "display, and their ttyUSB device vanishes: " +
        kStopBrltty + "."};
}

std::vector<std::string> portAdvice(const PortFacts& facts) {
    Advice advice = judge(facts);
    advice.blocking.insert(advice.blocking.end(), advice.tuning.begin(), advice.tuning.end());
    return advice.blocking;
}

std::string openFailureAdvice(const PortFacts& facts) {
    const Advice advice = judge(facts);
    return advice.blocking.empty() ? std::string{} : advice.blocking.front();
}

}  // namespace qtx

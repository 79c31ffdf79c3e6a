// Gathers what the machine says about a serial device: its node, its group, the processes
// that hold it, the daemons that take adapters, the FTDI latency timer, the driver. Everything
// is read beneath a root folder, so that a test can lay out /proc, /sys and /dev of its own.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "link/port_advice.hpp"

namespace qtx {

// Where to look, and as which process.
struct SystemView {
    std::filesystem::path root = "/";
    int selfPid = 0;                    // left out of the holders: the console itself
    std::vector<std::uint32_t> groups;  // effective and supplementary
};

// This machine, seen by this process.
SystemView thisSystem();

// The node a device path leads to, its links followed beneath the root
// ("/dev/serial/by-id/usb-FTDI_..." -> "/dev/ttyUSB0").
std::string resolveDevice(const std::string& device, const std::filesystem::path& root);

PortFacts gatherPortFacts(const std::string& device, const SystemView& view);

// Of the daemons that take serial adapters, those running.
std::vector<std::string> runningDaemons(const std::filesystem::path& root);

// The /dev/serial/by-id names of each device node, by node.
std::map<std::string, std::vector<std::string>> byIdNames(const std::filesystem::path& root);

}  // namespace qtx

// The serial ports of the machine as the user reads them, in the port chooser and from
// `qtx ports`: one block a port, its names and maker's facts, then the advice about it.
#pragma once

#include <span>
#include <string>
#include <vector>

namespace qtx {

struct PortEntry {
    std::string device;             // "/dev/ttyUSB0"
    std::vector<std::string> byId;  // stable names of the same device ("/dev/serial/by-id/...")
    std::string description;
    std::string manufacturer;
    std::string serialNumber;
    std::string driver;
    std::vector<std::string> advice;  // portAdvice of its facts
};

// The block of one port: the device on the first line, each known fact indented beneath it
// ("  description    FT232R USB UART"), then its advice ("  ! ...").
std::string portBlock(const PortEntry& port);

// Every block, set apart by a blank line, then the notes that concern no port in particular;
// a line saying so when there is no port.
std::string portListText(std::span<const PortEntry> ports, std::span<const std::string> notes);

// One line for a list of ports: the device, its description, and which COM port it is.
std::string portSummary(const PortEntry& port, int comPort);

// Whether `path` names this port, by its device or one of its stable names.
bool namesPort(const PortEntry& port, const std::string& path);

// The name to remember for the port: a stable one survives replugging, where ttyUSB numbers
// change with the order of plugging.
std::string rememberedName(const PortEntry& port);

}  // namespace qtx

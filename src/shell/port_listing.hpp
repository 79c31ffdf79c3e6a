// The serial ports of this machine, each with its stable names, maker's facts and advice.
#pragma once

#include <string>
#include <vector>

#include "link/port_list.hpp"
#include "port_facts.hpp"

namespace qtx {

struct PortListing {
    std::vector<PortEntry> ports;    // in the order of their devices
    std::vector<std::string> notes;  // machineNotes
};

PortListing listPorts(const SystemView& view = thisSystem());

}  // namespace qtx

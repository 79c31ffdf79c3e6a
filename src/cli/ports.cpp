// `qtx ports`: the serial ports of this machine as the port chooser lists them, each with the
// advice the machine gives about it.
#include <cstdio>

#include "commands.hpp"
#include "port_listing.hpp"

namespace qtx::cli {

int runPorts(const PortsArgs&) {
    const PortListing listing = listPorts();
    std::fputs(portListText(listing.ports, listing.notes).c_str(), stdout);
    std::fflush(stdout);
    return kExitOk;
}

}  // namespace qtx::cli

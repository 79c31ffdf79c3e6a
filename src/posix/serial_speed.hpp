// The terminal interface's code for a line speed (B115200 for 115200), for the programs that
// set a serial line or a pseudo-terminal themselves: the INDI driver and the simulator.
#pragma once

#include <termios.h>

#include <cstdint>
#include <optional>

namespace qtx::posix {

// Nothing for a speed the interface has no code for.
std::optional<speed_t> speedCode(std::int64_t baud);

}  // namespace qtx::posix

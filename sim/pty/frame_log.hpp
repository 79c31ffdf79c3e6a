// One log line per frame on the line, both ways: time, direction, code name, bytes in hex.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "model/qtx_model.hpp"

namespace qtx::sim {

// Name of a code as the sender means it: CMD_ names from the console, MSG_ names from the QTX.
std::string codeName(Direction direction, std::uint8_t code);

// "   12.345678 <- CMD_KEY          a5 08 02 00 af 00 01 00 01 00" with any note after the
// bytes in brackets; bytes that are not a frame (skipped, garbage) are named by the note.
std::string frameLogLine(double seconds, Direction direction, std::span<const std::uint8_t> bytes,
                         const std::string& note);

}  // namespace qtx::sim

// One line of a traffic log per frame on the line, written alike by the console and by the
// simulated QTX:
//
//   seconds (12 wide, 6 places) | arrow | code name (18 wide) | the bytes in hex
//      12.345678 -> CMD_KEY            a5 08 02 00 af 00 01 00 01 00  [note]
//       0.104170 <- (skipped)          13 00
//
// "->" marks what the program keeping the log sent, "<-" what it received. A frame is named
// by its code, from the table of the end that sent it (CMD_ names for the console's codes,
// MSG_ names for the QTX's); bytes that are no frame are named by what they are, in brackets.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace qtx {

enum class LineEnd { Console, Qtx };
enum class LogDirection { Sent, Received };

// The name of a code as its sender means it; "code 17" for one neither end knows.
std::string codeName(LineEnd sender, std::uint8_t code);

// A frame, with an optional note after the bytes; fewer bytes than a header are no frame
// and are named by the note.
std::string frameLogLine(double seconds, LogDirection direction, LineEnd sender,
                         std::span<const std::uint8_t> frame, std::string_view note = {});

// Bytes that are no frame, named by `what` ("skipped", "garbage", ...).
std::string bytesLogLine(double seconds, LogDirection direction,
                         std::span<const std::uint8_t> bytes, std::string_view what);

}  // namespace qtx

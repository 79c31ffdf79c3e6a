// The line end of the texts the console shows and writes (the KELM header lines excepted,
// which end LF CR).
#pragma once

#include <string>

namespace qtx {

inline const std::string crlf = "\r\n";

}  // namespace qtx

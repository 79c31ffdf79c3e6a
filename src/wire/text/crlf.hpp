// The line end of the texts the console shows and writes (the KELM header lines excepted,
// which end LF CR).
#pragma once

#include <string>

namespace qtx {

inline const std::string crlf = "\r\n";

// The console's line breaks (CR LF, or a lone CR) as the one "\n" of a terminal or a log.
inline std::string plainLines(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace qtx

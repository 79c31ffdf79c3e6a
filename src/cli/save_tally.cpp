#include "save_tally.hpp"

#include <algorithm>

#include "link/frame.hpp"

namespace qtx::cli {

SaveTally::Image& SaveTally::current() {
    if (taken.empty()) taken.emplace_back();
    return taken.back();
}

void SaveTally::sent(std::span<const std::uint8_t> frame) {
    if (frame.size() < kHeaderSize || frame[0] != kSync) return;
    switch (frame[1]) {
        case CMD_HEADER_REQ:
            headerAsked = true;
            break;
        case CMD_ROW_REQ:
        case CMD_ROW_RAW:
            // The first row after a header starts an image; a header asked for again, or one
            // of an empty buffer, does not.
            if (headerAsked || taken.empty()) taken.emplace_back();
            headerAsked = false;
            break;
        case CMD_SAVED:
            if (frame.size() <= kHeaderSize) return;
            if (frame[kHeaderSize] == 0) {
                ++current().saved;
            } else {
                ++current().notSaved;
            }
            break;
        case CMD_DOWNLOAD_END:
            endSeen = true;
            break;
        default:
            break;
    }
}

int SaveTally::written() const {
    return static_cast<int>(std::count_if(
        taken.begin(), taken.end(), [](const Image& i) { return i.saved > 0 && i.notSaved == 0; }));
}

bool SaveTally::allWritten() const { return endSeen && !taken.empty() && written() == images(); }

}  // namespace qtx::cli

#include "save_tally.hpp"

#include <algorithm>

#include "link/frame.hpp"

namespace qtx::cli {

SaveTally::Image& SaveTally::current() {
    if (images.empty()) images.emplace_back();
    return images.back();
}

void SaveTally::sent(std::span<const std::uint8_t> frame) {
    if (frame.size() < kHeaderSize || frame[0] != kSync) return;
    switch (frame[1]) {
        case CMD_HEADER_REQ:
            // A header asked for again before any row (a damaged or missing header) is
            // still the same image.
            if (images.empty() || rowsAsked) images.emplace_back();
            rowsAsked = false;
            break;
        case CMD_ROW_REQ:
        case CMD_ROW_RAW:
            current();
            rowsAsked = true;
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
    return static_cast<int>(std::count_if(images.begin(), images.end(), [](const Image& i) {
        return i.saved > 0 && i.notSaved == 0;
    }));
}

int SaveTally::refused() const {
    return static_cast<int>(
        std::count_if(images.begin(), images.end(), [](const Image& i) { return i.notSaved > 0; }));
}

bool SaveTally::allWritten(int expected) const {
    return expected > 0 && static_cast<int>(images.size()) == expected && written() == expected;
}

}  // namespace qtx::cli

// State of the file dialog, saving and file naming, and the track offsets of the current image.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "files/kelm.hpp"
#include "files/tracklist.hpp"

namespace qtx {

struct FileNaming {
    std::string autofilename;     // base path of saved images
    bool autosave = false;        // received images are saved under numbered names
    std::int16_t filenumber = 1;  // number of the next numbered file
    std::string currentfile;      // path of the file written or read last
};

struct TrackOffsets {
    // Column and row offsets of the exposures of the current image, from its track list file
    // or its own track row, pair 1..64 at index 1..64.
    std::array<std::int16_t, kMaxTrackPairs + 1> trackx{};
    std::array<std::int16_t, kMaxTrackPairs + 1> tracky{};
    std::int16_t trackcount = 1;
};

// What the files of a loaded image held: saving it again writes these back, changed only
// where the user changed a value, so that nothing of another image comes into its files.
struct LoadedImage {
    KelmHeader header;                         // its header lines and what they set
    std::vector<std::string> asloaded;         // headerLines of the record right after the load
    std::optional<std::string> tracklistfile;  // its track list file, when it was read whole
};

}  // namespace qtx

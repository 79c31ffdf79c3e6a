// Track list files (".trk"): text lines ended by CR LF.
//
//   QTX Track List
//   Version = 1
//   Snapshots =  3          signed texts ("Snapshots = " + " 3")
//   Snapshot_time = .5      "###.##"
//   Temperature = -12.5     "###.##"
//   Height =  200
//   Width =  320
//   Offset =  100
//    5, -3                  one pair of signed 16-bit texts per exposure
//   End                     with one trailing blank
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "image/state.hpp"

namespace qtx {

// The most exposures a track list, and the offsets of an image, hold.
inline constexpr int kMaxTrackPairs = 64;

// The text for the exposures of an image, their pairs taken from the words of the track row.
std::string trackListText(const ImageFacts& facts, const std::array<std::int32_t, 320>& tracklist);

struct TrackPair {
    std::int16_t x = 0;
    std::int16_t y = 0;
    friend bool operator==(const TrackPair&, const TrackPair&) = default;
};

struct TrackListRead {
    std::vector<TrackPair> pairs;  // those read, also when the file then fails
    bool ok = false;
};

// Reads the pairs after the eight heading lines up to the End line; at most 64 pairs.
TrackListRead parseTrackList(std::string_view text);

}  // namespace qtx

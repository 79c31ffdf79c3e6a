// Reading the outcome of a download from the frames the console sends. (What the command
// line accepts and refuses is checked on the programs themselves, in programs_test.cpp.)
#include "save_tally.hpp"

#include <gtest/gtest.h>

#include <map>

#include "test_frames.hpp"

namespace qtx::cli {
namespace {

// One letter a frame: H header request, R row request, T track row request, S saved report
// 0, N saved report 1, E download end, K a key (nothing to do with saving). Then the images,
// those written, and whether all were.
TEST(SaveTally, CountsImagesByTheirReports) {
    using namespace qtx::test;
    const std::map<char, Bytes> sent{{'H', headerRequest(31)}, {'R', kRow10},
                                     {'T', kTrackRowRequest},  {'S', kSaved},
                                     {'N', kNotSaved},         {'E', kDownloadEnd}};
    const std::pair<const char*, std::tuple<int, int, bool>> cases[] = {
        {"E", {0, 0, false}},               // nothing to fetch is no success
        {"HHHRRSE", {1, 1, true}},          // the header asked for three times
        {"HRRTSHRRTSSHRSE", {3, 3, true}},  // summed image, mosaic with its data file
        {"HRRTSNHRRSE", {2, 1, false}},     // image written, track list refused
        {"HRRSHRRNE", {2, 1, false}},       // the second exists: the run ends there
        {"HRRSHHRRSE", {2, 2, true}},       // an empty buffer between: no image there
        {"HRRSHRR", {2, 1, false}},         // silent before the end
        {"KHRKRSKE", {1, 1, true}},         // keys in between change nothing
        {"HRRES", {1, 1, true}},            // a save after the transfer
    };
    for (const auto& [frames, expected] : cases) {
        SaveTally t;
        for (const char* f = frames; *f != '\0'; ++f)
            t.sent(sent.contains(*f) ? sent.at(*f) : kKeyUp);
        EXPECT_EQ(std::make_tuple(t.images(), t.written(), t.allWritten()), expected) << frames;
        EXPECT_EQ(t.ended(), std::string_view(frames).find('E') != std::string_view::npos);
    }
}

}  // namespace
}  // namespace qtx::cli

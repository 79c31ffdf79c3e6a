// Reading the outcome of a download from the frames the console sends.
#include "save_tally.hpp"

#include <gtest/gtest.h>

#include <map>
#include <string_view>

#include "test_frames.hpp"

namespace qtx::cli {
namespace {

// One letter a frame: H header request, R row request, T track row request, S saved report
// 0, N saved report 1, E download end, K a key (nothing to do with saving).
SaveTally tallyOf(std::string_view frames) {
    using namespace qtx::test;
    const std::map<char, Bytes> sent{{'H', headerRequest(31)}, {'R', kRow10},
                                     {'T', kTrackRowRequest},  {'S', kSaved},
                                     {'N', kNotSaved},         {'E', kDownloadEnd}};
    SaveTally tally;
    for (char f : frames) tally.sent(sent.contains(f) ? sent.at(f) : kKeyUp);
    return tally;
}

TEST(SaveTally, CountsImagesByTheirReports) {
    struct Case {
        const char* frames;
        int images;
        int written;
        bool allWritten;
    };
    const Case cases[] = {
        {"", 0, 0, false},
        {"E", 0, 0, false},  // nothing to fetch is no success
        {"HE", 0, 0, false},
        {"HRRRSE", 1, 1, true},
        {"HRRRE", 1, 0, false},           // complete, but no report: not written
        {"HRRRNE", 1, 0, false},          // "already exists!"
        {"HHHRRSE", 1, 1, true},          // the header asked for three times
        {"HRRTSHRRTSSHRSE", 3, 3, true},  // summed image, mosaic with its data file
        {"HRRTSNHRRSE", 2, 1, false},     // image written, track list refused
        {"HRRSHRRNE", 2, 1, false},       // the second exists: the run ends there
        {"HRRSHHRRSE", 2, 2, true},       // an empty buffer between: no image there
        {"HRRSHE", 1, 1, true},           // an empty buffer last
        {"HRRSHRR", 2, 1, false},         // silent before the end
        {"KHRKRSKE", 1, 1, true},         // keys in between change nothing
        {"HRRES", 1, 1, true},            // a save after the transfer
        {"HRRESN", 1, 0, false},
        {"N", 1, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.frames);
        const SaveTally t = tallyOf(c.frames);
        EXPECT_EQ(t.images(), c.images);
        EXPECT_EQ(t.written(), c.written);
        EXPECT_EQ(t.allWritten(), c.allWritten);
        EXPECT_EQ(t.ended(), std::string_view(c.frames).find('E') != std::string_view::npos);
    }
}

}  // namespace
}  // namespace qtx::cli

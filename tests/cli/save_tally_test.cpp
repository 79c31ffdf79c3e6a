// Reading the outcome of a download from the frames the console sends.
#include "save_tally.hpp"

#include <gtest/gtest.h>

#include <string_view>

namespace qtx::cli {
namespace {

// One letter a frame: H header request, R row request, T track row request, S saved report
// 0, N saved report 1, E download end, K a key (nothing to do with saving).
SaveTally tallyOf(std::string_view frames) {
    const std::vector<std::uint8_t> header{0xA5, 0x04, 0x02, 0x00, 0xAB,
                                           0x00, 0x1F, 0x00, 0x1F, 0x00};
    const std::vector<std::uint8_t> row{0xA5, 0x07, 0x08, 0x00, 0xB4, 0x00, 0,    0,
                                        0,    0,    0x40, 0x01, 0x1F, 0,    0x60, 0x01};
    const std::vector<std::uint8_t> track{0xA5, 0x05, 0x08, 0x00, 0xB2, 0x00, 0xC8, 0,
                                          0,    0,    0x40, 0x01, 0x1F, 0,    0x28, 0x02};
    const std::vector<std::uint8_t> saved{0xA5, 0x0B, 0x02, 0x00, 0xB2,
                                          0x00, 0x00, 0x00, 0x00, 0x00};
    const std::vector<std::uint8_t> notSaved{0xA5, 0x0B, 0x02, 0x00, 0xB2,
                                             0x00, 0x01, 0x00, 0x01, 0x00};
    const std::vector<std::uint8_t> end{0xA5, 0x02, 0x00, 0x00, 0xA7, 0x00};
    const std::vector<std::uint8_t> key{0xA5, 0x08, 0x02, 0x00, 0xAF, 0x00, 0x00, 0x20, 0x20, 0x00};
    SaveTally tally;
    for (char f : frames) {
        switch (f) {
            case 'H':
                tally.sent(header);
                break;
            case 'R':
                tally.sent(row);
                break;
            case 'T':
                tally.sent(track);
                break;
            case 'S':
                tally.sent(saved);
                break;
            case 'N':
                tally.sent(notSaved);
                break;
            case 'E':
                tally.sent(end);
                break;
            default:
                tally.sent(key);
                break;
        }
    }
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
        {"HRRRE", 1, 0, false},   // complete, but no report: not written
        {"HRRRNE", 1, 0, false},  // "already exists!"
        {"HHHRRSE", 1, 1, true},  // the header asked for three times
        {"HRRRRSHRRSHRRSE", 3, 3, true},
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

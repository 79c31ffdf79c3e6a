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
        int expected;
        int written;
        int refused;
        bool ended;
        bool allWritten;
    };
    const Case cases[] = {
        {"", 1, 0, 0, false, false},
        {"E", 0, 0, 0, true, false},  // nothing to fetch is no success
        {"HRRRSE", 1, 1, 0, true, true},
        {"HRRRE", 1, 0, 0, true, false},   // complete, but no report: not written
        {"HRRRNE", 1, 0, 1, true, false},  // "already exists!"
        {"HHHRRSE", 1, 1, 0, true, true},  // the header asked for three times
        {"HRRRRSHRRSHRRSE", 3, 3, 0, true, true},
        {"HRRRRSHRRSHRRSE", 4, 3, 0, true, false},  // one image fewer than the bitmap said
        {"HRRRRSHRRSHRRSE", 2, 3, 0, true, false},
        {"HRRTSHRRTSSHRSE", 3, 3, 0, true, true},  // summed image, mosaic with its data file
        {"HRRTNSHRRSE", 2, 1, 1, true, false},     // image refused, its track list written
        {"HRRTSNHRRSE", 2, 1, 1, true, false},     // track list refused
        {"HRRSHRRNE", 2, 1, 1, true, false},       // the second exists: the run ends there
        {"HRRSHRR", 2, 1, 0, false, false},        // silent before the end
        {"KHRKRSKE", 1, 1, 0, true, true},         // keys in between change nothing
        {"HRRESN", 1, 0, 1, true, false},          // reports of a save after the transfer
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.frames);
        const SaveTally t = tallyOf(c.frames);
        EXPECT_EQ(t.written(), c.written);
        EXPECT_EQ(t.refused(), c.refused);
        EXPECT_EQ(t.ended(), c.ended);
        EXPECT_EQ(t.allWritten(c.expected), c.allWritten);
    }
}

TEST(SaveTally, IgnoresWhatIsNotAFrame) {
    SaveTally t;
    const std::vector<std::uint8_t> shortReport{0xA5, 0x0B, 0x02, 0x00, 0xB2, 0x00};
    const std::vector<std::uint8_t> noSync{0x00, 0x0B, 0x02, 0x00, 0xB2,
                                           0x00, 0x00, 0x00, 0x00, 0x00};
    const std::vector<std::uint8_t> stub{0xA5, 0x02};
    t.sent(shortReport);
    t.sent(noSync);
    t.sent(stub);
    t.sent({});
    EXPECT_EQ(t.written(), 0);
    EXPECT_EQ(t.refused(), 0);
    EXPECT_FALSE(t.ended());
}

}  // namespace
}  // namespace qtx::cli

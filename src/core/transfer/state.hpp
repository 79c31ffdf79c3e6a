// State of the image transfer from the QTX's buffers.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace qtx {

struct Reception {
    std::int16_t bufferindex = 0;  // QTX buffer being downloaded, 0..31
    std::array<bool, 32> bufferpending{};
    bool downloadall = false;
    bool headerpending = false;
    std::int16_t rownumber = 0;  // QTX row being requested; 200 is the track row
    std::int16_t reqcolumn = 0;
    std::int16_t reqwidth = 0;
    bool imagecomplete = false;
    std::array<std::int32_t, 320> tracklist{};
    std::int32_t repeats = 0;  // requests repeated for the image on its way in (progress)
    // Progress of a Download All: images it fetches, and which of them is coming now.
    std::int32_t downloadimages = 0;
    std::int32_t downloadimage = 0;
    // Replies that may still come for requests answered already. The QTX answers every copy
    // of a repeated request, in order, and the answers to one request are byte-identical.
    std::int32_t copiessent = 0;          // copies of the outstanding row request sent
    std::int32_t latecopies = 0;          // copies of the request answered last, still unanswered
    std::vector<std::uint8_t> lastreply;  // the row frame taken last
    // Headers carry no buffer number, so header answers are counted the same way: copies of
    // the outstanding header request sent (0: not sent yet, it waits for late answers), and
    // answers still to come to an earlier header request, which no later one may take.
    std::int32_t headercopies = 0;
    std::int32_t lateheaders = 0;
    // The buffer-status request of a Download All, guarded like the others.
    bool statuspending = false;
    std::int32_t statuscopies = 0;
    std::int32_t latestatus = 0;
    std::int32_t downloadreceived = 0;  // images of the current Download All received
    std::int32_t downloadsaved = 0;     // of them written to disk
};

}  // namespace qtx

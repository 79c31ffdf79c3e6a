// State of the serial link and of the image transfer.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace qtx {

inline constexpr std::size_t kRxBufferSize = 1024;

// The speeds of the baud menu by `baudindex` 1..4.
inline constexpr std::array<std::int32_t, 5> kBaudRates{0, 115200, 57600, 38400, 19200};

// What the next MSG_ACK answers, by the system's numbers.
enum class PendingOp : std::int16_t {
    Key = 0,        // a key press (and, before the first, the link set-up)
    CodeBegin = 1,  // the begin frame of a firmware upload
    CodePage = 2,   // a page of the upload, `pagenumber`
    CodeEnd = 3,    // the end frame, after the last page
};

// One of the three upload frames awaits its acknowledgement.
constexpr bool isUploadStep(PendingOp op) {
    return op == PendingOp::CodeBegin || op == PendingOp::CodePage || op == PendingOp::CodeEnd;
}

struct LinkState {
    std::array<std::uint8_t, kRxBufferSize> rxbuffer{};
    std::int16_t rxcount = 0;  // valid bytes at the front of rxbuffer, 0..1024
    bool headerok = false;     // the header at the front has passed its checksum
    bool linkup = false;       // "Link Established" has been shown since the last set-up
    bool portopen = false;
    std::int16_t baudindex = 1;      // 1 = 115200, 2 = 57600, 3 = 38400, 4 = 19200
    std::int16_t retrycount = 0;     // watchdog ticks since the last good reply
    std::int16_t shortinterval = 0;  // ms; 0 until the port has been opened once
    std::int16_t longinterval = 0;   // ms
    PendingOp pendingop = PendingOp::Key;
    std::vector<std::uint8_t> outframe;  // the request being sent
    std::string settings;                // settings string last given to the port

    // The payload of the frame at the front of rxbuffer, as far as the buffer holds it.
    std::span<const std::uint8_t> frontPayload() const;
};

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

// State of the serial link.
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
    std::string settings;  // settings string last given to the port

    // The payload of the frame at the front of rxbuffer, as far as the buffer holds it.
    std::span<const std::uint8_t> frontPayload() const;
};

}  // namespace qtx

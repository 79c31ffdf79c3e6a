// The image transfer: the filled-buffer bitmap, the header, one request per row, the track
// row, completion, and the walk over the filled buffers of a Download All.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "part.hpp"
#include "transfer/state.hpp"

namespace qtx {

class Download : Part {
  public:
    Download(Console& console, Host& host) : Part(console, host) {}

    void reset() { state = Reception{}; }
    // The screen image, asked for by the user or offered by the QTX.
    void fetchScreenImage();
    // Download All and the QTX's flash offer ask for the filled-buffer bitmap.
    void requestBufferStatus();
    void onFlashOffer();
    void abort();  // Abort Download All: the image in transfer completes, no other follows

    // Frames of the transfer at the front of the receive buffer.
    void onBufferStatusFrame(bool good);
    void onHeader(bool checksumGood);
    void onRow(bool checksumGood);

    // The watchdog's tick while the transfer waits, and its end when no answer came.
    void tick(bool patienceOver);
    void givenUp();
    // An answer is still awaited (the watchdog keeps guarding it).
    bool awaitingReply() const;
    // A save was refused: the walk takes no further buffer.
    void stopWalk() { state.downloadall = false; }

    const std::array<std::int32_t, 320>& tracklist() const { return state.tracklist; }
    const Reception& view() const { return state; }

  private:
    void onBufferStatus();
    void reportProgress();
    void nextBufferOrEnd();
    void fetchHeader();
    void sendWaitingHeaderRequest();
    void sendBufferStatusRequest();
    void endFailedDownloadAll();
    void requestNextRow();
    void requestheader(std::int16_t buffer);
    void requestrow(std::int16_t buffer);
    bool storeRow(std::uint8_t code, std::span<const std::uint8_t> payload);
    void takeNextPending();

    Reception state;
};

}  // namespace qtx

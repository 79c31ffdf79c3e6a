// The firmware upload: the code image checked on disk, then a begin frame, 192 pages and an
// end frame, each sent when the QTX has acknowledged the one before.
#pragma once

#include "part.hpp"
#include "upload/state.hpp"

namespace qtx {

class Uploader : Part {
  public:
    Uploader(Console& console, Host& host) : Part(console, host) {}

    void reset() { state = Upload{}; }
    void mnuUploadFile_Click();
    // The QTX acknowledged the frame the link awaited an answer for.
    void uploadstep();
    void oneShotElapsed();
    void tick(bool patienceOver);
    // The upload cannot go on (the port closes, a key takes the link over).
    void abandon();
    // The resend interval of a frame at the current speed.
    int interval() const;

    const Upload& view() const { return state; }

  private:
    void buildpage();
    void sendNextUploadFrame();
    void sendframe(std::uint8_t code, std::span<const std::uint8_t> payload, std::uint16_t length);
    void reportProgress();

    Upload state;
};

}  // namespace qtx

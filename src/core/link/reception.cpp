// Image transfer from the QTX's buffers (placeholder: consumes the frames only).
#include "console.hpp"
#include "link/frame.hpp"

namespace qtx {

void Console::onBufferStatus() { link.headerok = false; }

void Console::onHeader(bool checksumGood) {
    removeFront(payloadLength(link.rxbuffer) + 8);
    link.headerok = !checksumGood;
}

void Console::onRow(bool /*checksumGood*/) { removeFront(payloadLength(link.rxbuffer) + 8); }

}  // namespace qtx

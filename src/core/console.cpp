#include "console.hpp"

namespace qtx {

Console::Console(Host& host)
    : host(host),
      link(*this, host),
      download(*this, host),
      uploader(*this, host),
      files(*this, host),
      picture(*this, host),
      panel(*this, host) {}

void Console::Form_Load() {
    link.reset();
    download.reset();
    uploader.reset();
    files.reset();
    picture.reset();
    panel.reset();
    host.setTurboColour(Colour{255, 0, 0});  // Turbo starts off, and red
    link.startLink();
}

void Console::resumeWatchdog() {
    const PendingOp op = link.pendingOp();
    if (op == PendingOp::CodeBegin || op == PendingOp::CodePage) {
        link.watchdogRestart(uploader.interval());
    } else if (download.awaitingReply()) {
        link.watchdogRestart(link.longInterval());
    } else {
        host.stopTimer();
    }
}

void Console::cmdinterrupt_Click() {
    panel.pressKey(0x0080);
    // The image in transfer is completed; no further buffer is requested.
    download.abort();
}

}  // namespace qtx

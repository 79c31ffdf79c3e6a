// The watchdog `entrytimer`: repeats an unanswered request, gives up on the fourth tick.
#include "console.hpp"

namespace qtx {

namespace {

// As many ticks as a reply gets before the fourth says "Communication Failed".
constexpr std::int16_t kLatePatienceTicks = 3;

}  // namespace

void Link::watchdogRestart(int intervalMs) {
    host.stopTimer();
    // An interval of 0 (the port never opened) means the watchdog does not tick.
    if (intervalMs > 0) host.startTimer(intervalMs);
}

// The watchdog counts the ticks; what a tick repeats belongs to the exchange that waits:
// an image transfer (or the buffer bitmap of a Download All), or an upload.
void Link::watchdogTick() {
    if (state.retrycount < 4) ++state.retrycount;
    const bool uploading = state.pendingop != PendingOp::Key;
    if (state.retrycount >= 4) {
        host.stopTimer();
        host.hideProgress();  // the exchange is abandoned where it is
        if (uploading) {
            showText(TextBox::PCtext, "Communication Failed");
            host.report(CommunicationFailed{CommunicationFailed::During::Upload});
        } else {
            console.download.givenUp();
        }
        return;
    }
    // Ticks while late answers are awaited are patience, not silence: after a few the answers
    // count as lost and the exchange goes on.
    const bool patienceOver = state.retrycount >= kLatePatienceTicks;
    if (uploading) {
        console.uploader.tick(patienceOver);
    } else {
        console.download.tick(patienceOver);
    }
}

}  // namespace qtx

// The watchdog `entrytimer`: repeats an unanswered request, gives up on the fourth tick.
#include "console.hpp"
#include "link/frame.hpp"
#include "upload/code_image.hpp"

namespace qtx {

namespace {

// As many ticks as a reply gets before the fourth says "Communication Failed".
constexpr std::int16_t kLatePatienceTicks = 3;

}  // namespace

void Console::watchdogRestart(int intervalMs) {
    host.stopTimer();
    // An interval of 0 (the port never opened) means the watchdog does not tick.
    if (intervalMs > 0) host.startTimer(intervalMs);
}

void Console::watchdogTick() {
    if (link.retrycount < 4) ++link.retrycount;
    if (link.retrycount >= 4) {
        host.stopTimer();
        host.hideProgress();  // the exchange is abandoned where it is
        // The header request is given up: a new one does not wait for its answers.
        reception.headercopies = 0;
        reception.lateheaders = 0;
        if (reception.statuspending) {
            // Answers that still come would start a walk nobody waits for any more.
            reception.statuspending = false;
            reception.latestatus += reception.statuscopies;
            reception.statuscopies = 0;
        }
        const bool uploading = link.pendingop != PendingOp::Key;
        if (!uploading && reception.downloadall) {
            endFailedDownloadAll();
        } else {
            showText(TextBox::PCtext, "Communication Failed");
        }
        host.report(CommunicationFailed{uploading ? CommunicationFailed::During::Upload
                                                  : CommunicationFailed::During::Transfer});
        return;
    }
    // Ticks while late answers are awaited are patience, not silence: after a few the answers
    // count as lost and the exchange goes on.
    if (link.pendingop == PendingOp::Key && reception.latecopies > 0 && !reception.headerpending) {
        if (link.retrycount >= kLatePatienceTicks) requestNextRow();
        return;
    }
    if (link.pendingop == PendingOp::Key && reception.headerpending && reception.lateheaders > 0) {
        if (link.retrycount >= kLatePatienceTicks) sendWaitingHeaderRequest();
        return;
    }
    if (isUploadStep(link.pendingop) && upload.lateacks > 0) {
        if (link.retrycount >= kLatePatienceTicks) {
            upload.lateacks = 0;
            sendNextUploadFrame();
        }
        return;
    }
    switch (link.pendingop) {
        case PendingOp::Key:
            link.headerok = false;
            ++reception.repeats;
            if (reception.headerpending) {
                requestheader(reception.bufferindex);
            } else if (reception.statuspending) {
                sendBufferStatusRequest();
            } else {
                link.rxcount = 0;
                (void)host.readAll();
                requestrow(reception.bufferindex);
            }
            break;
        case PendingOp::CodeBegin:
            watchdogRestart(uploadInterval());
            ++upload.repeats;
            ++upload.copiessent;
            sendframe(CMD_CODE_BEGIN, kCodeBeginPayload, kCodeBeginPayload.size());
            reportUploadProgress();
            break;
        case PendingOp::CodePage:
            watchdogRestart(uploadInterval());
            ++upload.repeats;
            ++upload.copiessent;
            sendframe(CMD_CODE_PAGE, upload.pagebuffer, kPagePayloadBytes);
            reportUploadProgress();
            break;
        case PendingOp::CodeEnd:
            // The end frame is never sent twice: a QTX that took it is already restarting.
            break;
        default:
            break;
    }
}

}  // namespace qtx

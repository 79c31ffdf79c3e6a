// Firmware upload: the code image is checked on disk, then sent as a begin frame, 192 pages
// and an end frame, each sent when the QTX has acknowledged the one before. The watchdog
// resends a begin frame or page that was not acknowledged; the end frame is never resent.
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "console.hpp"
#include "link/frame.hpp"
#include "upload/code_image.hpp"

namespace qtx {

namespace {

// A page frame on the line: start bit, 8 data bits and up to 2 stop bits a byte.
constexpr std::int64_t kPageFrameBits = static_cast<std::int64_t>(kPagePayloadBytes + 8) * 11;

// Without an answer to the end frame by then, the QTX did not take the code. The frame is not
// resent: a QTX that did take it is restarting and would read a second one as a new command.
// The one-shot timer rather than the watchdog waits for it, because other traffic (a link
// request, an offered image) stops or restarts the watchdog and could cancel the wait.
constexpr int kEndAnswerMs = 5000;

// The QTX restarts with its new code before it takes commands again.
constexpr int kRestartMs = 2000;

std::int32_t baudOf(std::int16_t baudindex) {
    return baudindex >= 2 && baudindex <= 4 ? kBaudRates[static_cast<std::size_t>(baudindex)]
                                            : 115200;
}

}  // namespace

// A page takes 50 ms at 115200 baud and 299 ms at 19200; resending it sooner than the QTX
// can have received it and answered would only pile copies up on the line.
int Console::uploadInterval() const {
    const std::int64_t twiceLineMs =
        (2 * kPageFrameBits * 1000 + baudOf(link.baudindex) - 1) / baudOf(link.baudindex);
    return static_cast<int>(std::max<std::int64_t>(link.shortinterval, twiceLineMs));
}

void Console::reportUploadProgress() {
    Progress progress;
    progress.kind = Progress::Kind::Pages;
    progress.done = upload.pagenumber;
    progress.total = kCodePages;
    progress.repeats = upload.repeats;
    host.showProgress(progress);
}

void Console::mnuUploadFile_Click() {
    // Refused before anything changes: nothing could be sent and no answer would come.
    if (!link.portopen) {
        host.messageBox("No COM port is open to QTX");
        return;
    }
    files.dialogopen = true;
    files.binfilter = true;
    filedialog();
    const std::string path = files.dialogfilename;
    if (path.find(".bin") == std::string::npos) {
        host.messageBox("QTX code will be in a '.bin' file");
        return;
    }
    // One byte more than an image is asked for, so that the count read tells the length: a
    // typed name of no file, a directory, or a file that changes while it is read all come
    // out as a wrong length.
    std::vector<std::uint8_t> bytes(kCodeBytes + 1);
    std::size_t got = 0;
    std::error_code error;
    if (std::filesystem::is_regular_file(path, error)) {
        std::ifstream in(path, std::ios::binary);
        in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        got = static_cast<std::size_t>(in.gcount());
    }
    bytes.resize(got);
    const CodeCheck check = checkCodeImage(bytes);
    if (check.verdict == CodeCheck::Verdict::WrongLength) {
        host.messageBox("File length doesn not match expected '.bin' file");
        return;
    }
    if (check.verdict == CodeCheck::Verdict::BadCrc) {
        host.messageBox("Code CRC check failed - code file is bad");
        return;
    }

    upload.codeimage = std::move(bytes);
    upload.repeats = 0;
    // This upload takes the link over from whatever the timer waited for.
    host.stopOneShot();
    upload.waiting = Upload::Wait::None;
    showText(TextBox::PCtext, "File CRC check passed - programming QTX");
    upload.pagenumber = 0;
    upload.copiessent = 1;
    upload.lateacks = 0;
    link.pendingop = PendingOp::CodeBegin;
    // A count left over from an earlier failure would end this upload on its first tick.
    link.retrycount = 0;
    watchdogRestart(uploadInterval());
    sendframe(CMD_CODE_BEGIN, kCodeBeginPayload, kCodeBeginPayload.size());
    reportUploadProgress();
}

void Console::buildpage() {
    if (upload.codeimage.size() != kCodeBytes) return;
    const auto payload =
        pagePayload(std::span<const std::uint8_t, kCodeBytes>(upload.codeimage.data(), kCodeBytes),
                    upload.pagenumber);
    std::copy(payload.begin(), payload.end(), upload.pagebuffer.begin());
}

void Console::uploadstep() {
    if (upload.lateacks > 0) {
        // Nothing new is sent while they are awaited, so this acknowledges another copy of
        // the frame taken already; once the last has come, the next frame goes.
        if (--upload.lateacks == 0) sendNextUploadFrame();
        return;
    }
    switch (link.pendingop) {
        case PendingOp::CodeBegin:
            link.pendingop = PendingOp::CodePage;
            break;
        case PendingOp::CodePage:
            ++upload.pagenumber;
            if (upload.pagenumber >= kCodePages) link.pendingop = PendingOp::CodeEnd;
            break;
        case PendingOp::CodeEnd:
            host.hideProgress();  // before the text: the page count ends here
            showText(TextBox::PCtext, "Code succesfully uploaded - QTX restarting");
            link.pendingop = PendingOp::Key;
            link.retrycount = 0;
            // The wait runs on the timer, not inside this acknowledgement's handling.
            host.startOneShot(kRestartMs);
            upload.waiting = Upload::Wait::Restart;
            return;
        default:
            return;
    }
    link.retrycount = 0;
    // A frame sent more than once is answered more than once, and its other answers look
    // just like the next frame's: the next frame waits for them.
    upload.lateacks = upload.copiessent - 1;
    if (upload.lateacks > 0) {
        watchdogRestart(uploadInterval());
        reportUploadProgress();
        return;
    }
    sendNextUploadFrame();
}

// Sends the frame that `pendingop` awaits: a page, or the end frame after the last page.
void Console::sendNextUploadFrame() {
    upload.copiessent = 1;
    link.retrycount = 0;
    if (link.pendingop == PendingOp::CodeEnd) {
        const auto end = endPayload(
            std::span<const std::uint8_t, kCodeBytes>(upload.codeimage.data(), kCodeBytes));
        std::copy(end.begin(), end.end(), upload.pagebuffer.begin());
        host.stopTimer();
        host.startOneShot(kEndAnswerMs);
        upload.waiting = Upload::Wait::EndAnswer;
        sendframe(CMD_CODE_END, upload.pagebuffer, end.size());
    } else {
        buildpage();
        watchdogRestart(uploadInterval());
        sendframe(CMD_CODE_PAGE, upload.pagebuffer, kPagePayloadBytes);
    }
    reportUploadProgress();
}

void Console::oneShotElapsed() {
    const Upload::Wait waiting = upload.waiting;
    upload.waiting = Upload::Wait::None;
    switch (waiting) {
        case Upload::Wait::EndAnswer:
            // Still waiting: a late acknowledgement completes the upload all the same.
            if (link.pendingop != PendingOp::CodeEnd) return;
            showText(TextBox::PCtext, "Communication Failed");
            host.hideProgress();
            host.report(CommunicationFailed{CommunicationFailed::During::Upload});
            return;
        case Upload::Wait::Restart:
            sendremotemode(1);
            // Over once the restarted QTX is under remote operation again.
            host.report(UploadEnded{true, "Code succesfully uploaded - QTX restarting"});
            return;
        case Upload::Wait::None:
            return;
    }
}

// A watchdog tick while an upload frame awaits its acknowledgement.
void Console::uploadTick(bool patienceOver) {
    if (isUploadStep(link.pendingop) && upload.lateacks > 0) {
        if (patienceOver) {
            upload.lateacks = 0;
            sendNextUploadFrame();
        }
        return;
    }
    switch (link.pendingop) {
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
        default:
            // The end frame is never sent twice: a QTX that took it is already restarting.
            break;
    }
}

void Console::abandonUpload() {
    if (!isUploadStep(link.pendingop)) return;
    link.pendingop = PendingOp::Key;
    // The watchdog served the upload: left running it would repeat an old image request.
    host.stopTimer();
    if (upload.waiting == Upload::Wait::EndAnswer) {
        host.stopOneShot();
        upload.waiting = Upload::Wait::None;
    }
    host.hideProgress();
    host.messageBox("Code upload abandoned - upload the code file again");
    host.report(UploadEnded{false, "Code upload abandoned - upload the code file again"});
}

}  // namespace qtx

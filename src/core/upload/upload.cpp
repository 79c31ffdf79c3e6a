// Firmware upload: the code image is checked on disk, then sent as a begin frame, 192 pages
// and an end frame, each sent when the QTX has acknowledged the one before. The watchdog
// resends a begin frame or page that was not acknowledged; the end frame is never resent.
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "console.hpp"
#include "link/frame.hpp"
#include "text/crlf.hpp"
#include "text/numtext.hpp"
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
int Uploader::interval() const {
    const std::int64_t twiceLineMs =
        (2 * kPageFrameBits * 1000 + baudOf(console.link.baudIndex()) - 1) /
        baudOf(console.link.baudIndex());
    return static_cast<int>(std::max<std::int64_t>(console.link.shortInterval(), twiceLineMs));
}

void Uploader::reportProgress() {
    Progress progress;
    progress.kind = Progress::Kind::Pages;
    progress.done = state.pagenumber;
    progress.total = kCodePages;
    progress.repeats = state.repeats;
    host.showProgress(progress);
}

void Uploader::mnuUploadFile_Click() {
    // Refused before anything changes: nothing could be sent and no answer would come.
    if (!console.link.portOpen()) {
        host.messageBox("No COM port is open to QTX");
        return;
    }
    const std::string path = console.files.chooseFile(true, FileFilter::Code);
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

    state.codeimage = std::move(bytes);
    state.repeats = 0;
    // This upload takes the link over from whatever the timer waited for.
    host.stopOneShot();
    state.waiting = Upload::Wait::None;
    showText(TextBox::PCtext, "File CRC check passed - programming QTX");
    state.pagenumber = 0;
    state.copiessent = 1;
    state.lateacks = 0;
    console.link.expect(PendingOp::CodeBegin);
    // A count left over from an earlier failure would end this upload on its first tick.
    console.link.replied();
    console.link.watchdogRestart(interval());
    sendframe(CMD_CODE_BEGIN, kCodeBeginPayload, kCodeBeginPayload.size());
    reportProgress();
}

void Uploader::buildpage() {
    if (state.codeimage.size() != kCodeBytes) return;
    const auto payload =
        pagePayload(std::span<const std::uint8_t, kCodeBytes>(state.codeimage.data(), kCodeBytes),
                    state.pagenumber);
    std::copy(payload.begin(), payload.end(), state.pagebuffer.begin());
}

void Uploader::uploadstep() {
    if (state.lateacks > 0) {
        // Nothing new is sent while they are awaited, so this acknowledges another copy of
        // the frame taken already; once the last has come, the next frame goes.
        if (--state.lateacks == 0) sendNextUploadFrame();
        return;
    }
    switch (console.link.pendingOp()) {
        case PendingOp::CodeBegin:
            console.link.expect(PendingOp::CodePage);
            break;
        case PendingOp::CodePage:
            ++state.pagenumber;
            if (state.pagenumber >= kCodePages) console.link.expect(PendingOp::CodeEnd);
            break;
        case PendingOp::CodeEnd:
            host.hideProgress();  // before the text: the page count ends here
            showText(TextBox::PCtext, "Code succesfully uploaded - QTX restarting");
            console.link.expect(PendingOp::Key);
            console.link.replied();
            // The wait runs on the timer, not inside this acknowledgement's handling.
            host.startOneShot(kRestartMs);
            state.waiting = Upload::Wait::Restart;
            return;
        default:
            return;
    }
    console.link.replied();
    // A frame sent more than once is answered more than once, and its other answers look
    // just like the next frame's: the next frame waits for them.
    state.lateacks = state.copiessent - 1;
    if (state.lateacks > 0) {
        console.link.watchdogRestart(interval());
        reportProgress();
        return;
    }
    sendNextUploadFrame();
}

// Sends the frame that `pendingop` awaits: a page, or the end frame after the last page.
void Uploader::sendNextUploadFrame() {
    state.copiessent = 1;
    console.link.replied();
    if (console.link.pendingOp() == PendingOp::CodeEnd) {
        const auto end = endPayload(
            std::span<const std::uint8_t, kCodeBytes>(state.codeimage.data(), kCodeBytes));
        std::copy(end.begin(), end.end(), state.pagebuffer.begin());
        host.stopTimer();
        host.startOneShot(kEndAnswerMs);
        state.waiting = Upload::Wait::EndAnswer;
        sendframe(CMD_CODE_END, state.pagebuffer, end.size());
    } else {
        buildpage();
        console.link.watchdogRestart(interval());
        sendframe(CMD_CODE_PAGE, state.pagebuffer, kPagePayloadBytes);
    }
    reportProgress();
}

void Uploader::oneShotElapsed() {
    const Upload::Wait waiting = state.waiting;
    state.waiting = Upload::Wait::None;
    switch (waiting) {
        case Upload::Wait::EndAnswer:
            // Still waiting: a late acknowledgement completes the upload all the same.
            if (console.link.pendingOp() != PendingOp::CodeEnd) return;
            showText(TextBox::PCtext, "Communication Failed");
            host.hideProgress();
            host.report(CommunicationFailed{CommunicationFailed::During::Upload});
            return;
        case Upload::Wait::Restart:
            console.link.sendremotemode(1);
            // Over once the restarted QTX is under remote operation again.
            host.report(UploadEnded{true, "Code succesfully uploaded - QTX restarting"});
            return;
        case Upload::Wait::None:
            return;
    }
}

// A watchdog tick while an upload frame awaits its acknowledgement.
void Uploader::tick(bool patienceOver) {
    if (isUploadStep(console.link.pendingOp()) && state.lateacks > 0) {
        if (patienceOver) {
            state.lateacks = 0;
            sendNextUploadFrame();
        }
        return;
    }
    switch (console.link.pendingOp()) {
        case PendingOp::CodeBegin:
            console.link.watchdogRestart(interval());
            ++state.repeats;
            ++state.copiessent;
            sendframe(CMD_CODE_BEGIN, kCodeBeginPayload, kCodeBeginPayload.size());
            reportProgress();
            break;
        case PendingOp::CodePage:
            console.link.watchdogRestart(interval());
            ++state.repeats;
            ++state.copiessent;
            sendframe(CMD_CODE_PAGE, state.pagebuffer, kPagePayloadBytes);
            reportProgress();
            break;
        default:
            // The end frame is never sent twice: a QTX that took it is already restarting.
            break;
    }
}

void Uploader::abandon() {
    if (!isUploadStep(console.link.pendingOp())) return;
    console.link.expect(PendingOp::Key);
    // The watchdog served the upload: left running it would repeat an old image request.
    host.stopTimer();
    if (state.waiting == Upload::Wait::EndAnswer) {
        host.stopOneShot();
        state.waiting = Upload::Wait::None;
    }
    host.hideProgress();
    host.messageBox("Code upload abandoned - upload the code file again");
    host.report(UploadEnded{false, "Code upload abandoned - upload the code file again"});
}

void Uploader::sendframe(std::uint8_t code, std::span<const std::uint8_t> payload,
                         std::uint16_t length) {
    console.link.send(
        buildFrame(code, payload.first(std::min<std::size_t>(length, payload.size()))), true);
    showText(TextBox::PCtext, " PageNumber = " + signedText(state.pagenumber) +
                                  " of 192 being sent" + crlf + signedText(console.link.retries()) +
                                  " retries");
}

}  // namespace qtx

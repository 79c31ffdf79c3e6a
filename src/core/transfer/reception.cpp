// Image transfer from the QTX's data buffers: the filled-buffer bitmap, the header, one
// request per row, the track row of summed and mosaic images, completion, and the walk over
// the filled buffers of a download-all.
#include <algorithm>
#include <array>

#include "console.hpp"
#include "link/frame.hpp"
#include "link/le16.hpp"
#include "link/rowcodec.hpp"
#include "text/crlf.hpp"

namespace qtx {

namespace {

constexpr std::int16_t kTrackRow = 200;  // row number of the track row
constexpr std::int32_t kPastTrackRow = 201;
constexpr std::int32_t kTrackWidth = 320;
constexpr std::int16_t kMaxRows = 200;          // the record holds at most 200 rows
constexpr std::int32_t kLastRowNumber = 32767;  // the largest row number a request can name

// Rows of the image that the array keeps: an image announced taller than 200 rows keeps its
// first 200 and ends after them.
int keptRows(const ImageRecord& record) { return std::min<int>(record.hdrheight, kMaxRows); }

// The low 16 bits of the value, low byte first.
std::array<std::uint8_t, 2> word(std::int32_t value) {
    std::array<std::uint8_t, 2> bytes{};
    putLe16(bytes, 0, static_cast<std::uint16_t>(value));
    return bytes;
}

}  // namespace

// The lowest-numbered pending buffer becomes the one to fetch; none left ends the walk.
void Download::takeNextPending() {
    const auto next = std::find(state.bufferpending.begin(), state.bufferpending.end(), true);
    state.downloadall = next != state.bufferpending.end();
    if (!state.downloadall) {
        state.downloadimage = 0;
        return;
    }
    state.bufferindex = static_cast<std::int16_t>(next - state.bufferpending.begin());
    *next = false;
    ++state.downloadimage;
}

// Stores the row in the frame at the front of the buffer. False when the row is damaged
// (it ends before its last pixel) and must be requested again.
bool Download::storeRow(std::uint8_t code, std::span<const std::uint8_t> payload) {
    if (code == MSG_ROW_RAW && state.rownumber == kTrackRow) {
        std::array<std::uint16_t, kTrackWidth> row{};
        if (!readRawRow(payload, kTrackWidth, row)) return false;
        std::copy(row.begin(), row.end(), state.tracklist.begin());
        return true;
    }
    return console.picture.storeRow(code, payload, state.rownumber);
}

void Download::reportProgress() {
    const ImageRecord& record = console.picture.image();
    const int total = keptRows(record);
    const int rows = std::clamp(state.rownumber - record.hdrfirstrow, 0, std::max(total, 0));
    Progress progress;
    progress.done = rows;
    progress.total = total;
    progress.repeats = state.repeats;
    progress.buffer = state.bufferindex;
    if (state.downloadall || state.downloadimage > 0) {
        progress.image = state.downloadimage;
        progress.images = state.downloadimages;
    }
    host.showProgress(progress);
}

void Download::onBufferStatus() {
    console.link.frameTaken();
    const auto payload = console.link.frontPayload();
    const auto word = [&](std::size_t k) -> std::uint32_t {
        return payload.size() >= k + 2 ? le16(payload, k) : 0U;
    };
    // Two words, the one for buffers 16..31 first.
    const std::uint32_t upper = word(0);
    const std::uint32_t lower = word(2);
    for (std::size_t i = 0; i < 16; ++i) {
        state.bufferpending[i] = ((lower >> i) & 1U) != 0;
        state.bufferpending[16 + i] = ((upper >> i) & 1U) != 0;
    }
    state.downloadimages = static_cast<std::int32_t>(
        std::count(state.bufferpending.begin(), state.bufferpending.end(), true));
    state.downloadimage = 0;
    state.downloadreceived = 0;
    state.downloadsaved = 0;
    takeNextPending();
    if (state.downloadall) {
        fetchHeader();
    } else {
        showText(TextBox::PCtext, "QTX data buffers are empty");
        host.report(DownloadAllEnded{DownloadAllEnded::End::Empty});
    }
}

void Download::onHeader(bool checksumGood) {
    const int bytes = console.link.frontFrameBytes();
    if (!state.headerpending || state.lateheaders > 0) {
        // An answer to a header request answered or replaced already, damaged or not. Headers
        // name no buffer, so it can never be taken for the buffer asked for now.
        console.link.removeFront(bytes);
        console.link.frameTaken();
        if (state.lateheaders > 0) --state.lateheaders;
        if (state.headerpending && state.lateheaders == 0 && state.headercopies == 0) {
            sendWaitingHeaderRequest();
        } else {
            console.resumeWatchdog();
        }
        return;
    }
    if (!checksumGood) {
        // `headerok` stays set, as after every damaged header. The damaged answer answered
        // one copy of the request; the new one is another.
        console.link.removeFront(bytes);
        --state.headercopies;
        console.link.watchdogRestart(console.link.longInterval());
        requestheader(state.bufferindex);
        ++state.repeats;
        return;
    }
    console.link.frameTaken();
    host.stopTimer();
    // Every copy of a request is answered, in order: copies not yet answered are still to
    // come, and no answer to an earlier buffer-status request can follow this one.
    state.lateheaders = std::max(state.headercopies - 1, 0);
    state.headercopies = 0;
    state.latestatus = 0;
    if (!console.picture.takeHeader(console.link.frontPayload())) {
        // The buffer holds no image: nothing more is asked for it, and frames already
        // buffered wait for the next receive event. A Download All goes on with the next
        // filled buffer, or ends, so that the walk never stays half open.
        console.link.removeFront(bytes);
        console.link.stopPass();
        host.hideProgress();
        if (state.downloadall) {
            nextBufferOrEnd();
        } else {
            state.headerpending = false;
        }
        return;
    }
    const ImageRecord& record = console.picture.image();
    state.rownumber = record.hdrfirstrow;
    state.reqcolumn = record.hdrfirstcolumn;
    state.reqwidth = record.hdrwidth;
    state.headerpending = false;
    // Row replies of any earlier request came before this header and were dropped.
    state.copiessent = 0;
    state.latecopies = 0;
    state.lastreply.clear();
    console.link.watchdogRestart(console.link.longInterval());
    console.link.replied();
    state.repeats = 0;
    requestrow(state.bufferindex);
    console.link.removeFront(bytes);
    state.imagecomplete = false;
    reportProgress();
    const bool walking = state.downloadall || state.downloadimage > 0;
    host.report(ImageStarted{state.bufferindex, record.imagedata.width, record.imagedata.height,
                             walking ? state.downloadimage : 0,
                             walking ? state.downloadimages : 0});
}

void Download::onRow(bool checksumGood) {
    const int bytes = console.link.frontFrameBytes();
    const auto frame = console.link.front();
    const ImageRecord& record = console.picture.image();
    if (state.headerpending || state.imagecomplete) {
        // No row can be genuine while a header is awaited, or once the image is complete:
        // it answers an earlier request, or repeats the answer that completed the image.
        console.link.removeFront(bytes);
        console.resumeWatchdog();
        return;
    }
    if (state.latecopies > 0) {
        // Nothing else is asked for while late answers are awaited, so a row now can only
        // be one of them (a damaged one too); anything else is no answer of ours.
        if (!checksumGood || std::ranges::equal(frame, state.lastreply)) --state.latecopies;
        console.link.removeFront(bytes);
        if (state.latecopies == 0) {
            requestNextRow();
        } else {
            console.link.watchdogRestart(console.link.longInterval());
        }
        return;
    }
    if (!checksumGood || !storeRow(frame[1], console.link.frontPayload())) {
        // Damaged or cut short: the same row again at once. The damaged reply answered one
        // copy of the request, the new one is another.
        console.link.removeFront(bytes);
        console.link.watchdogRestart(console.link.longInterval());
        --state.copiessent;
        requestrow(state.bufferindex);
        ++state.repeats;
        reportProgress();
        return;
    }
    host.report(RowStored{&record, state.rownumber - record.hdrfirstrow + 1});
    state.lastreply.assign(frame.begin(), frame.end());
    state.lateheaders = 0;  // answers come in order: a header still due was lost
    state.latecopies = state.copiessent - 1;
    state.copiessent = 0;
    std::int32_t next = state.rownumber + 1;
    console.link.replied();
    if (next == kPastTrackRow) state.imagecomplete = true;
    if (next == record.hdrfirstrow + keptRows(record)) {
        if (record.numexposures == 1 && record.mosaicsnapshots == 0) {
            state.imagecomplete = true;
        } else {
            next = kTrackRow;
        }
    }
    // Row numbers past 32767 cannot be asked for; an image reaching them ends there.
    if (next > kLastRowNumber) {
        state.imagecomplete = true;
    } else {
        state.rownumber = static_cast<std::int16_t>(next);
    }

    if (!state.imagecomplete) {
        console.link.removeFront(bytes);
        if (state.latecopies > 0) {
            // The row was asked for more than once and the other answers may still come:
            // they look just like the next row's, so the next row waits for them.
            console.link.watchdogRestart(console.link.longInterval());
            reportProgress();
            return;
        }
        requestNextRow();
        return;
    }
    // Late answers of the last row come before the next header's and are dropped there.
    state.latecopies = 0;

    console.link.sendremotemode(1);
    console.picture.completeImage(state.tracklist);
    const bool walking = state.downloadall || state.downloadimage > 0;
    state.downloadreceived += walking ? 1 : 0;
    if (console.files.autosave() && console.files.saveReceivedImage() && walking)
        ++state.downloadsaved;
    console.link.removeFront(bytes);
    host.hideProgress();
    console.picture.showimage();
    host.report(ImageReceived{state.bufferindex, &record, &state.tracklist});
    nextBufferOrEnd();
}

void Download::requestNextRow() {
    state.latecopies = 0;
    console.link.replied();
    console.link.watchdogRestart(console.link.longInterval());
    requestrow(state.bufferindex);
    reportProgress();
}

bool Download::awaitingReply() const {
    return console.link.retries() < 4 &&
           (state.headerpending || state.statuspending ||
            (!state.imagecomplete && (state.copiessent > 0 || state.latecopies > 0)));
}

void Download::fetchScreenImage() {
    // A buffer of a Download All interrupted here is fetched again after the screen image,
    // unless it is the screen image itself, which is being fetched now.
    constexpr std::int16_t kScreenBuffer = 31;
    const auto interrupted = static_cast<std::size_t>(state.bufferindex & 31);
    if (state.downloadall && (state.headerpending || !state.imagecomplete) &&
        interrupted != kScreenBuffer && !state.bufferpending[interrupted]) {
        state.bufferpending[interrupted] = true;
        ++state.downloadimages;
    }
    state.latecopies = 0;
    state.bufferindex = kScreenBuffer;
    console.link.replied();  // a new download gets its own retries
    fetchHeader();
}

// Asks for the header of buffer `bufferindex`, its reply guarded by the watchdog. While
// answers to an earlier header request are still due, the request waits for them (or for
// the watchdog's patience): they would look just like its own answer.
void Download::fetchHeader() {
    if (state.headerpending) state.lateheaders += state.headercopies;
    state.headerpending = true;
    state.headercopies = 0;
    console.link.watchdogRestart(console.link.longInterval());
    if (state.lateheaders == 0) requestheader(state.bufferindex);
}

void Download::sendWaitingHeaderRequest() {
    state.lateheaders = 0;
    console.link.replied();
    console.link.watchdogRestart(console.link.longInterval());
    requestheader(state.bufferindex);
}

// Download All and the QTX's flash offer ask for the filled-buffer bitmap; its answer is
// guarded and counted like a header's.
void Download::requestBufferStatus() {
    if (!state.statuspending) {
        state.statuscopies = 0;
        state.latestatus = 0;
    }
    state.statuspending = true;
    console.link.replied();
    console.link.watchdogRestart(console.link.longInterval());
    sendBufferStatusRequest();
}

void Download::sendBufferStatusRequest() {
    ++state.statuscopies;
    console.link.send(buildFrame(CMD_DOWNLOAD_ALL, {}), false);
}

void Download::onBufferStatusFrame(bool good) {
    // An answer awaited, or a copy of one, is dealt with whole: what follows it is read now.
    if (state.statuspending || state.latestatus > 0) console.link.frameTaken();
    if (state.statuspending) {
        if (!good) {
            // Damaged: asked for again at once; the damaged answer answered one copy.
            console.link.watchdogRestart(console.link.longInterval());
            --state.statuscopies;
            sendBufferStatusRequest();
            return;
        }
        state.statuspending = false;
        state.latestatus = std::max(state.statuscopies - 1, 0);
        state.statuscopies = 0;
        host.stopTimer();
    } else if (state.latestatus > 0) {
        // A copy of the answer taken already: the walk it started is not started again.
        --state.latestatus;
        console.resumeWatchdog();
        return;
    }
    if (!good) return;
    if (console.files.autosave()) {
        onBufferStatus();
    } else {
        console.link.sendcommand(CMD_DECLINE);
    }
}

// A watchdog tick while a transfer awaits an answer: the request is sent again, unless the
// answers of a repeated request are still on their way.
void Download::tick(bool patienceOver) {
    if (state.latecopies > 0 && !state.headerpending) {
        if (patienceOver) requestNextRow();
        return;
    }
    if (state.headerpending && state.lateheaders > 0) {
        if (patienceOver) sendWaitingHeaderRequest();
        return;
    }
    console.link.frameTaken();
    ++state.repeats;
    if (state.headerpending) {
        requestheader(state.bufferindex);
    } else if (state.statuspending) {
        sendBufferStatusRequest();
    } else {
        console.link.dropReceived();
        requestrow(state.bufferindex);
    }
}

void Download::givenUp() {
    // The header request is given up: a new one does not wait for its answers.
    state.headercopies = 0;
    state.lateheaders = 0;
    if (state.statuspending) {
        // Answers that still come would start a walk nobody waits for any more.
        state.statuspending = false;
        state.latestatus += state.statuscopies;
        state.statuscopies = 0;
    }
    if (state.downloadall) {
        endFailedDownloadAll();
    } else {
        showText(TextBox::PCtext, "Communication Failed");
    }
    host.report(CommunicationFailed{CommunicationFailed::During::Transfer});
}

// "Communication Failed" during a Download All ends the walk: it never resumes by itself
// behind a later, unrelated image. The QTX is told that the exchange is over.
void Download::endFailedDownloadAll() {
    const std::int32_t saved = state.downloadsaved;
    showText(TextBox::PCtext, "Communication Failed" + crlf + "Download All stopped at buffer " +
                                  std::to_string(state.bufferindex) + " after " +
                                  std::to_string(saved) + (saved == 1 ? " image" : " images"));
    state.bufferpending.fill(false);
    state.downloadall = false;
    state.downloadimage = 0;
    console.link.sendcommand(CMD_DOWNLOAD_END);
    host.report(DownloadAllEnded{DownloadAllEnded::End::Failed, state.downloadreceived, saved,
                                 state.bufferindex});
}

void Download::nextBufferOrEnd() {
    const bool walked = state.downloadall;
    const bool cut = !walked && state.downloadimage > 0;  // aborted, or a save refused
    if (state.downloadall) takeNextPending();
    if (state.downloadall) {
        fetchHeader();
        return;
    }
    state.downloadimage = 0;
    console.link.sendcommand(CMD_DOWNLOAD_END);
    if (walked || cut) {
        // Buffers still pending mean a refused save stopped the walk; Abort clears them.
        const bool refused = std::ranges::any_of(state.bufferpending, std::identity{});
        state.bufferpending.fill(false);
        using End = DownloadAllEnded::End;
        host.report(DownloadAllEnded{walked    ? End::Completed
                                     : refused ? End::Failed
                                               : End::Aborted,
                                     state.downloadreceived, state.downloadsaved,
                                     refused ? state.bufferindex : -1});
    }
}

void Download::requestheader(std::int16_t buffer) {
    // The send buffer of this request is 14 bytes with only 10 filled: four zeros follow.
    std::vector<std::uint8_t> frame = buildFrame(CMD_HEADER_REQ, word(buffer));
    frame.resize(14, 0);
    ++state.headercopies;
    console.link.send(frame, false);
}

void Download::requestrow(std::int16_t buffer) {
    const bool trackRow = state.rownumber == kTrackRow;
    // Row, first column, width, then the buffer in the low byte of the last word.
    std::array<std::uint8_t, 8> payload{};
    putLe16(payload, 0, static_cast<std::uint16_t>(state.rownumber));
    putLe16(payload, 2, static_cast<std::uint16_t>(trackRow ? 0 : state.reqcolumn));
    putLe16(payload, 4, static_cast<std::uint16_t>(trackRow ? kTrackWidth : state.reqwidth));
    payload[6] = static_cast<std::uint8_t>(buffer & 0xFF);
    ++state.copiessent;
    console.link.send(buildFrame(trackRow ? CMD_ROW_RAW : CMD_ROW_REQ, payload), false);
}

}  // namespace qtx

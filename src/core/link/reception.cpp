// Image transfer from the QTX's data buffers: the filled-buffer bitmap, the header, one
// request per row, the track row of summed and mosaic images, completion, and the walk over
// the filled buffers of a download-all.
#include <algorithm>
#include <array>

#include "console.hpp"
#include "image/flat_correction.hpp"
#include "link/frame.hpp"
#include "link/le16.hpp"
#include "link/rowcodec.hpp"
#include "text/crlf.hpp"

namespace qtx {

namespace {

constexpr std::int16_t kTrackRow = 200;  // row number of the track row
constexpr std::int32_t kPastTrackRow = 201;
constexpr std::int32_t kTrackWidth = 320;
constexpr std::int16_t kMaxColumns = 320;  // the record holds at most 320 x 200 pixels
constexpr std::int16_t kMaxRows = 200;
constexpr std::int32_t kLastRowNumber = 32767;  // the largest row number a request can name

int frameBytes(const LinkState& link) { return payloadLength(link.rxbuffer) + 8; }

// The lowest-numbered pending buffer becomes the one to fetch; none left ends the walk.
void takeNextPending(Reception& reception) {
    const auto next =
        std::find(reception.bufferpending.begin(), reception.bufferpending.end(), true);
    reception.downloadall = next != reception.bufferpending.end();
    if (!reception.downloadall) {
        reception.downloadimage = 0;
        return;
    }
    reception.bufferindex = static_cast<std::int16_t>(next - reception.bufferpending.begin());
    *next = false;
    ++reception.downloadimage;
}

// Rows of the image that the array keeps: an image announced taller than 200 rows keeps its
// first 200 and ends after them.
int keptRows(const ImageRecord& record) { return std::min<int>(record.hdrheight, kMaxRows); }

// Stores the row in the frame at the front of the buffer. False when the row is damaged
// (it ends before its last pixel) and must be requested again.
bool storeRow(Console& console, std::uint8_t code, std::span<const std::uint8_t> payload) {
    Reception& reception = console.reception;
    ImageRecord& record = console.record;
    std::array<std::uint16_t, kTrackWidth> row{};
    if (code == MSG_ROW_RAW && reception.rownumber == kTrackRow) {
        if (!readRawRow(payload, kTrackWidth, row)) return false;
        std::copy(row.begin(), row.end(), reception.tracklist.begin());
        return true;
    }
    PixelArray& pixels = record.imagedata;
    // The array keeps at most 320 columns; a wider row is still read whole to check it.
    const auto kept = std::span<std::uint16_t>(row).first(
        static_cast<std::size_t>(std::min<int>(pixels.width, kTrackWidth)));
    const bool whole = code == MSG_ROW_RAW ? readRawRow(payload, record.hdrwidth, kept)
                                           : decodeCompressedRow(payload, record.hdrwidth, kept);
    if (!whole) return false;
    // A row that falls outside the array (beyond the 200 rows kept) is taken but not stored.
    const int r = reception.rownumber - record.hdrfirstrow + 1;
    if (r >= 1 && r <= pixels.height && !kept.empty()) {
        std::copy(kept.begin(), kept.end(), &pixels.at(1, r));
    }
    return true;
}

}  // namespace

void Console::reportProgress() {
    const int total = keptRows(record);
    const int rows = std::clamp(reception.rownumber - record.hdrfirstrow, 0, std::max(total, 0));
    Progress progress;
    progress.done = rows;
    progress.total = total;
    progress.repeats = reception.repeats;
    progress.buffer = reception.bufferindex;
    if (reception.downloadall || reception.downloadimage > 0) {
        progress.image = reception.downloadimage;
        progress.images = reception.downloadimages;
    }
    host.showProgress(progress);
}

void Console::onBufferStatus() {
    link.headerok = false;
    const auto payload = link.frontPayload();
    const auto word = [&](std::size_t k) -> std::uint32_t {
        return payload.size() >= k + 2 ? le16(payload, k) : 0U;
    };
    // Two words, the one for buffers 16..31 first.
    const std::uint32_t upper = word(0);
    const std::uint32_t lower = word(2);
    for (std::size_t i = 0; i < 16; ++i) {
        reception.bufferpending[i] = ((lower >> i) & 1U) != 0;
        reception.bufferpending[16 + i] = ((upper >> i) & 1U) != 0;
    }
    reception.downloadimages = static_cast<std::int32_t>(
        std::count(reception.bufferpending.begin(), reception.bufferpending.end(), true));
    reception.downloadimage = 0;
    reception.downloadreceived = 0;
    reception.downloadsaved = 0;
    takeNextPending(reception);
    if (reception.downloadall) {
        fetchHeader();
    } else {
        showText(TextBox::PCtext, "QTX data buffers are empty");
        host.report(DownloadAllEnded{DownloadAllEnded::End::Empty});
    }
}

void Console::onHeader(bool checksumGood) {
    const int bytes = frameBytes(link);
    if (!reception.headerpending || reception.lateheaders > 0) {
        // An answer to a header request answered or replaced already, damaged or not. Headers
        // name no buffer, so it can never be taken for the buffer asked for now.
        removeFront(bytes);
        link.headerok = false;
        if (reception.lateheaders > 0) --reception.lateheaders;
        if (reception.headerpending && reception.lateheaders == 0 && reception.headercopies == 0) {
            sendWaitingHeaderRequest();
        } else {
            resumeWatchdog();
        }
        return;
    }
    if (!checksumGood) {
        // `headerok` stays set, as after every damaged header. The damaged answer answered
        // one copy of the request; the new one is another.
        removeFront(bytes);
        --reception.headercopies;
        watchdogRestart(link.longinterval);
        requestheader(reception.bufferindex);
        ++reception.repeats;
        return;
    }
    link.headerok = false;
    host.stopTimer();
    // Every copy of a request is answered, in order: copies not yet answered are still to
    // come, and no answer to an earlier buffer-status request can follow this one.
    reception.lateheaders = std::max(reception.headercopies - 1, 0);
    reception.headercopies = 0;
    reception.latestatus = 0;
    decodeheader();
    if (record.hdrheight == 0) {
        // The buffer holds no image: nothing more is asked for it, and frames already
        // buffered wait for the next receive event. A Download All goes on with the next
        // filled buffer, or ends, so that the walk never stays half open.
        removeFront(bytes);
        stopReceiving = true;
        host.hideProgress();
        if (reception.downloadall) {
            nextBufferOrEnd();
        } else {
            reception.headerpending = false;
        }
        return;
    }
    // An image announced larger than the record holds keeps its first 320 columns and 200
    // rows; the rest of each row is read (to check it) and dropped.
    record.imagedata.resize(std::min(record.hdrwidth, kMaxColumns),
                            std::min(record.hdrheight, kMaxRows));
    reception.rownumber = record.hdrfirstrow;
    reception.reqcolumn = record.hdrfirstcolumn;
    reception.reqwidth = record.hdrwidth;
    reception.headerpending = false;
    // Row replies of any earlier request came before this header and were dropped.
    reception.copiessent = 0;
    reception.latecopies = 0;
    reception.lastreply.clear();
    watchdogRestart(link.longinterval);
    link.retrycount = 0;
    reception.repeats = 0;
    requestrow(reception.bufferindex);
    removeFront(bytes);
    reception.imagecomplete = false;
    reportProgress();
    const bool walking = reception.downloadall || reception.downloadimage > 0;
    host.report(ImageStarted{reception.bufferindex, record.imagedata.width, record.imagedata.height,
                             walking ? reception.downloadimage : 0,
                             walking ? reception.downloadimages : 0});
}

void Console::onRow(bool checksumGood) {
    const int bytes = frameBytes(link);
    const auto frame = std::span<const std::uint8_t>(link.rxbuffer)
                           .first(static_cast<std::size_t>(std::min<int>(bytes, link.rxcount)));
    if (reception.headerpending || reception.imagecomplete) {
        // No row can be genuine while a header is awaited, or once the image is complete:
        // it answers an earlier request, or repeats the answer that completed the image.
        removeFront(bytes);
        resumeWatchdog();
        return;
    }
    if (reception.latecopies > 0) {
        // Nothing else is asked for while late answers are awaited, so a row now can only
        // be one of them (a damaged one too); anything else is no answer of ours.
        if (!checksumGood || std::ranges::equal(frame, reception.lastreply)) --reception.latecopies;
        removeFront(bytes);
        if (reception.latecopies == 0) {
            requestNextRow();
        } else {
            watchdogRestart(link.longinterval);
        }
        return;
    }
    if (!checksumGood || !storeRow(*this, link.rxbuffer[1], link.frontPayload())) {
        // Damaged or cut short: the same row again at once. The damaged reply answered one
        // copy of the request, the new one is another.
        removeFront(bytes);
        watchdogRestart(link.longinterval);
        --reception.copiessent;
        requestrow(reception.bufferindex);
        ++reception.repeats;
        reportProgress();
        return;
    }
    host.report(RowStored{&record, reception.rownumber - record.hdrfirstrow + 1});
    reception.lastreply.assign(frame.begin(), frame.end());
    reception.lateheaders = 0;  // answers come in order: a header still due was lost
    reception.latecopies = reception.copiessent - 1;
    reception.copiessent = 0;
    std::int32_t next = reception.rownumber + 1;
    link.retrycount = 0;
    if (next == kPastTrackRow) reception.imagecomplete = true;
    if (next == record.hdrfirstrow + keptRows(record)) {
        if (record.numexposures == 1 && record.mosaicsnapshots == 0) {
            reception.imagecomplete = true;
        } else {
            next = kTrackRow;
        }
    }
    // Row numbers past 32767 cannot be asked for; an image reaching them ends there.
    if (next > kLastRowNumber) {
        reception.imagecomplete = true;
    } else {
        reception.rownumber = static_cast<std::int16_t>(next);
    }

    if (!reception.imagecomplete) {
        removeFront(bytes);
        if (reception.latecopies > 0) {
            // The row was asked for more than once and the other answers may still come:
            // they look just like the next row's, so the next row waits for them.
            watchdogRestart(link.longinterval);
            reportProgress();
            return;
        }
        requestNextRow();
        return;
    }
    // Late answers of the last row come before the next header's and are dropped there.
    reception.latecopies = 0;

    sendremotemode(1);
    record.imagewidth = record.imagedata.width;
    record.imageheight = record.imagedata.height;
    // A flat field shifts by this image's own track offsets, never by those of a file loaded
    // before it.
    track = receivedTrackOffsets(reception.tracklist, record.numexposures);
    const bool walking = reception.downloadall || reception.downloadimage > 0;
    reception.downloadreceived += walking ? 1 : 0;
    if (files.autosave && autosaveReceivedImage() && walking) ++reception.downloadsaved;
    removeFront(bytes);
    host.hideProgress();
    showimage();
    host.report(ImageReceived{reception.bufferindex, &record, &reception.tracklist});
    nextBufferOrEnd();
}

void Console::requestNextRow() {
    reception.latecopies = 0;
    link.retrycount = 0;
    watchdogRestart(link.longinterval);
    requestrow(reception.bufferindex);
    reportProgress();
}

bool Console::awaitingReply() const {
    return link.retrycount < 4 &&
           (reception.headerpending || reception.statuspending ||
            (!reception.imagecomplete && (reception.copiessent > 0 || reception.latecopies > 0)));
}

// After a frame that answered nothing outstanding, the watchdog goes on guarding whatever
// still awaits its answer, and nothing else.
void Console::resumeWatchdog() {
    if (link.pendingop == PendingOp::CodeBegin || link.pendingop == PendingOp::CodePage) {
        watchdogRestart(uploadInterval());
    } else if (awaitingReply()) {
        watchdogRestart(link.longinterval);
    } else {
        host.stopTimer();
    }
}

void Console::fetchScreenImage() {
    // A buffer of a Download All interrupted here is fetched again after the screen image,
    // unless it is the screen image itself, which is being fetched now.
    constexpr std::int16_t kScreenBuffer = 31;
    const auto interrupted = static_cast<std::size_t>(reception.bufferindex & 31);
    if (reception.downloadall && (reception.headerpending || !reception.imagecomplete) &&
        interrupted != kScreenBuffer && !reception.bufferpending[interrupted]) {
        reception.bufferpending[interrupted] = true;
        ++reception.downloadimages;
    }
    reception.latecopies = 0;
    reception.bufferindex = kScreenBuffer;
    link.retrycount = 0;  // a new download gets its own retries
    fetchHeader();
}

// Asks for the header of buffer `bufferindex`, its reply guarded by the watchdog. While
// answers to an earlier header request are still due, the request waits for them (or for
// the watchdog's patience): they would look just like its own answer.
void Console::fetchHeader() {
    if (reception.headerpending) reception.lateheaders += reception.headercopies;
    reception.headerpending = true;
    reception.headercopies = 0;
    watchdogRestart(link.longinterval);
    if (reception.lateheaders == 0) requestheader(reception.bufferindex);
}

void Console::sendWaitingHeaderRequest() {
    reception.lateheaders = 0;
    link.retrycount = 0;
    watchdogRestart(link.longinterval);
    requestheader(reception.bufferindex);
}

// Download All and the QTX's flash offer ask for the filled-buffer bitmap; its answer is
// guarded and counted like a header's.
void Console::requestBufferStatus() {
    if (!reception.statuspending) {
        reception.statuscopies = 0;
        reception.latestatus = 0;
    }
    reception.statuspending = true;
    link.retrycount = 0;
    watchdogRestart(link.longinterval);
    sendBufferStatusRequest();
}

void Console::sendBufferStatusRequest() {
    ++reception.statuscopies;
    link.outframe = buildFrame(CMD_DOWNLOAD_ALL, {});
    writeFrame(false);
}

void Console::onBufferStatusFrame(bool good) {
    // An answer awaited, or a copy of one, is dealt with whole: what follows it is read now.
    if (reception.statuspending || reception.latestatus > 0) link.headerok = false;
    if (reception.statuspending) {
        if (!good) {
            // Damaged: asked for again at once; the damaged answer answered one copy.
            watchdogRestart(link.longinterval);
            --reception.statuscopies;
            sendBufferStatusRequest();
            return;
        }
        reception.statuspending = false;
        reception.latestatus = std::max(reception.statuscopies - 1, 0);
        reception.statuscopies = 0;
        host.stopTimer();
    } else if (reception.latestatus > 0) {
        // A copy of the answer taken already: the walk it started is not started again.
        --reception.latestatus;
        resumeWatchdog();
        return;
    }
    if (!good) return;
    if (files.autosave) {
        onBufferStatus();
    } else {
        sendcommand(CMD_DECLINE);
    }
}

// A watchdog tick while a transfer awaits an answer: the request is sent again, unless the
// answers of a repeated request are still on their way.
void Console::transferTick(bool patienceOver) {
    if (reception.latecopies > 0 && !reception.headerpending) {
        if (patienceOver) requestNextRow();
        return;
    }
    if (reception.headerpending && reception.lateheaders > 0) {
        if (patienceOver) sendWaitingHeaderRequest();
        return;
    }
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
}

void Console::transferGivenUp() {
    // The header request is given up: a new one does not wait for its answers.
    reception.headercopies = 0;
    reception.lateheaders = 0;
    if (reception.statuspending) {
        // Answers that still come would start a walk nobody waits for any more.
        reception.statuspending = false;
        reception.latestatus += reception.statuscopies;
        reception.statuscopies = 0;
    }
    if (reception.downloadall) {
        endFailedDownloadAll();
    } else {
        showText(TextBox::PCtext, "Communication Failed");
    }
    host.report(CommunicationFailed{CommunicationFailed::During::Transfer});
}

// "Communication Failed" during a Download All ends the walk: it never resumes by itself
// behind a later, unrelated image. The QTX is told that the exchange is over.
void Console::endFailedDownloadAll() {
    const std::int32_t saved = reception.downloadsaved;
    showText(TextBox::PCtext, "Communication Failed" + crlf + "Download All stopped at buffer " +
                                  std::to_string(reception.bufferindex) + " after " +
                                  std::to_string(saved) + (saved == 1 ? " image" : " images"));
    reception.bufferpending.fill(false);
    reception.downloadall = false;
    reception.downloadimage = 0;
    sendcommand(CMD_DOWNLOAD_END);
    host.report(DownloadAllEnded{DownloadAllEnded::End::Failed, reception.downloadreceived, saved,
                                 reception.bufferindex});
}

void Console::nextBufferOrEnd() {
    const bool walked = reception.downloadall;
    const bool cut = !walked && reception.downloadimage > 0;  // aborted, or a save refused
    if (reception.downloadall) takeNextPending(reception);
    if (reception.downloadall) {
        fetchHeader();
        return;
    }
    reception.downloadimage = 0;
    sendcommand(CMD_DOWNLOAD_END);
    if (walked || cut) {
        // Buffers still pending mean a refused save stopped the walk; Abort clears them.
        const bool refused = std::ranges::any_of(reception.bufferpending, std::identity{});
        reception.bufferpending.fill(false);
        using End = DownloadAllEnded::End;
        host.report(DownloadAllEnded{walked    ? End::Completed
                                     : refused ? End::Failed
                                               : End::Aborted,
                                     reception.downloadreceived, reception.downloadsaved,
                                     refused ? reception.bufferindex : -1});
    }
}

}  // namespace qtx

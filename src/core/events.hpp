// What happened, as typed facts beside the texts the console shows. Front ends decide from
// these (exit codes, summaries, link state, INDI states), never by reading message texts or
// the frames the console sent.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <variant>

namespace qtx {

struct ImageRecord;

// The port opened (start-up or Establish Link) with this settings string.
struct PortOpened {
    int port = 0;
    std::string settings;
};
// The port could not be opened; `detail` is the shell's reason ("" when it has none).
struct PortFailed {
    int port = 0;
    std::string detail;
};
// The device went away under the open port.
struct PortLost {
    int port = 0;
    std::string device;
};
struct PortClosed {};

// The QTX answered for the first time since the link was set up.
struct LinkEstablished {};
struct KeyAcknowledged {};

// The watchdog gave up: four ticks without a good reply.
struct CommunicationFailed {
    enum class During { Transfer, Upload };
    During during = During::Transfer;
};

// A header with an image arrived; its rows follow.
struct ImageStarted {
    int buffer = 0;
    int width = 0;
    int height = 0;
    int image = 0;   // during a Download All: which image, from 1 (0: not in one)
    int images = 0;  // during a Download All: how many it fetches
};

// A row of the image on its way in was stored: row `row` (from 1) of record->imagedata, for a
// picture that grows as the rows come. The record is valid for the duration of the call only.
struct RowStored {
    const ImageRecord* record = nullptr;
    int row = 0;
};

// An image is complete (and saved, while automatic saving is on). The record is valid for
// the duration of the call only.
struct ImageReceived {
    int buffer = 0;
    const ImageRecord* record = nullptr;
    // Its track row: the offsets of a summed image's exposures (valid as long as the record).
    const std::array<std::int32_t, 320>* tracklist = nullptr;
};

// A Download All is over.
struct DownloadAllEnded {
    enum class End { Completed, Empty, Aborted, Failed };
    End end = End::Completed;
    int images = 0;      // images fetched
    int saved = 0;       // of them written to disk
    int stoppedAt = -1;  // the buffer it stopped at when it failed (-1: none)
};

struct UploadEnded {
    bool success = false;
    std::string reason;  // the text the console showed
};

// A file the user or automatic saving asked for.
enum class FileKind { Image, TrackList, MosaicData, Bitmap, Fits, Png };
struct FileWritten {
    FileKind kind = FileKind::Image;
    std::string path;
};
struct FileRefused {
    FileKind kind = FileKind::Image;
    std::string path;
    bool exists = false;  // refused because it exists; otherwise it could not be written
    std::string reason;
};

// A file read for the current image: the image itself (Load), or its track list.
struct FileRead {
    FileKind kind = FileKind::Image;
    std::string path;
    bool ok = false;  // false: refused, unreadable, missing, or (a track list) not matching
};

// The flat field was applied to the image (a refusal says why in its message box).
struct FlatFieldApplied {};

// Abort Download All was chosen with no Download All under way.
struct NothingToAbort {};

using Event =
    std::variant<PortOpened, PortFailed, PortLost, PortClosed, LinkEstablished, KeyAcknowledged,
                 CommunicationFailed, ImageStarted, ImageReceived, DownloadAllEnded, UploadEnded,
                 FileWritten, FileRefused, FileRead, FlatFieldApplied, RowStored, NothingToAbort>;

}  // namespace qtx

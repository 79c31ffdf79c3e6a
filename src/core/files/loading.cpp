// Loading a frame from disk, with the track list of a summed image.
#include "console.hpp"
#include "files/disk.hpp"
#include "files/kelm.hpp"
#include "files/tracklist.hpp"
#include "text/numtext.hpp"

namespace qtx {

namespace {

constexpr std::int16_t kMaxColumns = 320;
constexpr std::int16_t kMaxRows = 200;
// No file of 200 rows can carry more: 2048 header bytes and 200 records of at most 32767
// bytes. A longer file is read this far.
constexpr std::size_t kMaxImageFileBytes = 2048 + 200 * (2 + 32767);
// A track list of 64 pairs is about a kilobyte; anything past this is no track list.
constexpr std::size_t kMaxTrackFileBytes = 64 * 1024;

// Fields a file sets; those its header does not carry keep their values.
void apply(const KelmHeader& h, ImageRecord& r, bool unitscm) {
    if (h.background) r.background = *h.background;
    if (h.range) r.range = *h.range;
    if (h.imageheight) r.imageheight = *h.imageheight;
    if (h.imagewidth) r.imagewidth = *h.imagewidth;
    if (h.imagedate) r.imagedate = *h.imagedate;
    if (h.imagetime) r.imagetime = *h.imagetime;
    if (h.imagenote) r.imagenote = *h.imagenote;
    if (h.exposure100) r.exposure100 = *h.exposure100;
    if (h.numexposures) r.numexposures = *h.numexposures;
    if (h.pedestal) r.pedestal = *h.pedestal;
    // The file holds inches; the console holds its own unit, so that loading and saving
    // again gives the same file.
    if (h.focallength)
        r.focallength = unitscm ? static_cast<float>(*h.focallength * 2.54) : *h.focallength;
    if (h.aperturearea) {
        r.aperturearea = unitscm ? static_cast<float>(*h.aperturearea * 6.4516) : *h.aperturearea;
    }
    if (h.temperature) r.temperature = *h.temperature;
}

}  // namespace

void Console::mnuload_Click() {
    files.dialogopen = true;
    filedialog();
    if (files.dialogfilename.empty()) {
        host.messageBox("No file was selected");
        return;
    }
    const std::string path = files.dialogfilename;
    files.currentfile = path;
    if (path.find(".bmp") != std::string::npos) {
        host.messageBox("Program cannot read bitmap files");
        return;
    }

    // After any refusal the size fields again describe the pixels held, so nothing later
    // reads outside them; the other header fields keep what the file gave them.
    const auto refuse = [this](const std::string& message, const std::string& reason) {
        record.imagewidth = record.imagedata.width;
        record.imageheight = record.imagedata.height;
        if (!reason.empty()) setText(TextBox::PCtext, files.currentfile + ": " + reason);
        host.messageBox(message);
    };
    const ReadResult file = readFileStart(path, kMaxImageFileBytes);
    if (!file.failure.empty()) return refuse("Load file command failed", file.failure);
    const KelmHeader header = parseHeader(file.bytes);
    apply(header, record, optics.unitscm);
    loadedheader = header;
    if (!header.failure.empty()) return refuse("Load file command failed", header.failure);
    setText(TextBox::headertxt, path + crlf + header.info);

    if (record.imagewidth > kMaxColumns) return refuse("Image is too wide - not QTX Format!", "");
    if (record.imageheight > kMaxRows) return refuse("Image is too tall - not QTX Format!", "");
    if (record.imagewidth < 1 || record.imageheight < 1) {
        return refuse("Load file command failed", "the image has no columns or no rows");
    }
    PixelArray pixels;
    pixels.resize(record.imagewidth, record.imageheight);
    const std::string damage = readPixelBlock(file.bytes, header.compressed, pixels);
    if (!damage.empty()) return refuse("Load file command failed", damage);
    record.imagedata = std::move(pixels);

    showimage();
    if (record.numexposures >= 2) {
        readtracklist();
    } else {
        track.trackcount = 1;
    }
}

void Console::readtracklist() {
    files.currentfile = basePath(files.currentfile, ".trk");
    const ReadResult file = readFileStart(files.currentfile, kMaxTrackFileBytes);
    const TrackListRead read =
        file.failure.empty()
            ? parseTrackList(std::string_view(reinterpret_cast<const char*>(file.bytes.data()),
                                              file.bytes.size()))
            : TrackListRead{};
    for (std::size_t k = 0; k < read.pairs.size(); ++k) {
        track.trackx[k + 1] = read.pairs[k].x;
        track.tracky[k + 1] = read.pairs[k].y;
    }
    if (!read.ok) {
        // One offset only: a flat field must never mix the offsets of two images.
        track.trackcount = 1;
        host.messageBox("No track file found for this track and accumulate image!");
        return;
    }
    track.trackcount = static_cast<std::int16_t>(read.pairs.size());
    if (track.trackcount != record.numexposures)
        host.messageBox("Track File does not match image!");
}

}  // namespace qtx

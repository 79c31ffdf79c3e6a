// Loading a frame from disk, with the track list of a summed image.
#include "console.hpp"
#include "files/disk.hpp"
#include "files/files.hpp"
#include "files/kelm.hpp"
#include "files/tracklist.hpp"
#include "text/crlf.hpp"
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

// Fields a file sets.
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

// The record of a loaded image: what its file says and nothing of the image before it, but
// for how that one is shown: the picture on the screen, and the display levels when the
// file names none.
ImageRecord loadedRecord(const KelmHeader& h, const ImageRecord& shown, bool unitscm) {
    ImageRecord r;
    r.background = shown.background;
    r.range = shown.range;
    r.xoffset = shown.xoffset;
    r.yoffset = shown.yoffset;
    r.imageshown = shown.imageshown;
    r.picture = shown.picture;
    apply(h, r, unitscm);
    return r;
}

}  // namespace

void Files::mnuload_Click() {
    const std::string path = chooseFile(true, FileFilter::Qtx);
    if (path.empty()) {
        host.messageBox("No file was selected");
        return;
    }
    // A refused or failed load changes nothing: the image, its facts, the panel and
    // `currentfile` are replaced only by a file that was read whole.
    if (path.find(".bmp") != std::string::npos) {
        host.messageBox("Program cannot read bitmap files");
        return;
    }
    const auto refuse = [this, &path](const std::string& message, const std::string& reason) {
        if (!reason.empty()) setText(TextBox::PCtext, path + ": " + reason);
        host.messageBox(message);
        host.report(FileRead{FileKind::Image, path, false});
    };
    const ReadResult file = readFileStart(path, kMaxImageFileBytes);
    if (!file.failure.empty()) return refuse("Load file command failed", file.failure);
    KelmHeader header = parseHeader(file.bytes);
    if (!header.failure.empty()) return refuse("Load file command failed", header.failure);
    const bool unitscm = console.picture.opticsSettings().unitscm;
    ImageRecord image = loadedRecord(header, console.picture.image(), unitscm);
    if (image.imagewidth > kMaxColumns) return refuse("Image is too wide - not QTX Format!", "");
    if (image.imageheight > kMaxRows) return refuse("Image is too tall - not QTX Format!", "");
    if (image.imagewidth < 1 || image.imageheight < 1) {
        return refuse("Load file command failed", "the image has no columns or no rows");
    }
    image.imagedata.resize(image.imagewidth, image.imageheight);
    const std::string damage = readPixelBlock(file.bytes, header.compressed, image.imagedata);
    if (!damage.empty()) return refuse("Load file command failed", damage);

    const std::int32_t exposures = image.numexposures;
    loaded = LoadedImage{std::move(header), headerLines(image, unitscm), {}};
    console.picture.replace(std::move(image));
    state.currentfile = path;
    setText(TextBox::headertxt, path + crlf + loaded->header.info);
    console.picture.showimage();
    host.report(FileRead{FileKind::Image, path, true});
    if (exposures >= 2) {
        readtracklist();
    } else {
        TrackOffsets single = console.picture.trackOffsets();
        single.trackcount = 1;
        console.picture.setTrackOffsets(single);
    }
}

void Files::readtracklist() {
    state.currentfile = basePath(state.currentfile, ".trk");
    const ReadResult file = readFileStart(state.currentfile, kMaxTrackFileBytes);
    const TrackListRead read =
        file.failure.empty()
            ? parseTrackList(std::string_view(reinterpret_cast<const char*>(file.bytes.data()),
                                              file.bytes.size()))
            : TrackListRead{};
    TrackOffsets track = console.picture.trackOffsets();
    for (std::size_t k = 0; k < read.pairs.size(); ++k) {
        track.trackx[k + 1] = read.pairs[k].x;
        track.tracky[k + 1] = read.pairs[k].y;
    }
    // Kept whole, so that saving the image again writes the very same list.
    if (read.ok && loaded) {
        loaded->tracklistfile.emplace(file.bytes.begin(), file.bytes.end());
    }
    // One offset only when the list is unreadable: a flat field must never mix the offsets
    // of two images.
    track.trackcount = read.ok ? static_cast<std::int16_t>(read.pairs.size()) : 1;
    console.picture.setTrackOffsets(track);
    if (!read.ok) {
        host.messageBox("No track file found for this track and accumulate image!");
        host.report(FileRead{FileKind::TrackList, state.currentfile, false});
        return;
    }
    const bool matches = track.trackcount == console.picture.image().numexposures;
    if (!matches) host.messageBox("Track File does not match image!");
    host.report(FileRead{FileKind::TrackList, state.currentfile, matches});
}

}  // namespace qtx

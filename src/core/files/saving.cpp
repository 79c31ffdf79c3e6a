// Saving the current image by hand and automatically under numbered names, with its track
// list and mosaic data beside it, and telling the QTX each outcome.
#include "console.hpp"
#include "files/disk.hpp"
#include "files/kelm.hpp"
#include "files/mosaic.hpp"
#include "files/tracklist.hpp"
#include "text/numtext.hpp"

namespace qtx {

namespace {

constexpr std::int16_t kFileNumberLimit = 999;
// Where the number stops: past the limit it only has to keep refusing.
constexpr std::int16_t kFileNumberStop = 1000;

// The number in three digits: 7 gives 007, 42 gives 042.
std::string threeDigits(std::int16_t number) {
    std::string digits = formatPattern(number, "###");
    if (digits.size() == 1) return "00" + digits;
    if (digits.size() == 2) return "0" + digits;
    return digits;
}

// The bytes of the image file: the header, then every row record.
std::vector<std::uint8_t> imageFileBytes(std::vector<std::uint8_t> bytes,
                                         const ImageRecord& record) {
    const PixelArray& pixels = record.imagedata;
    bytes.reserve(bytes.size() + static_cast<std::size_t>(record.imageheight) *
                                     (2 + 2 * static_cast<std::size_t>(pixels.width)));
    // A corrected image may be narrower than its array: each row is its first columns.
    for (int r = 1; r <= record.imageheight; ++r) {
        const auto first = static_cast<std::size_t>(r - 1) * static_cast<std::size_t>(pixels.width);
        packRow(std::span(pixels.cells).subspan(first, static_cast<std::size_t>(record.imagewidth)),
                bytes);
    }
    return bytes;
}

}  // namespace

Refusal Files::refuseSave(const std::string& path) {
    return [this, path](bool exists, const std::string& reason) {
        setText(TextBox::PCtext,
                path + (exists ? " already exists!" : " could not be written: " + reason));
        console.download.stopWalk();
        console.link.sendsavereport(1);
    };
}

bool Files::writeimagefile() {
    const ImageRecord& record = console.picture.image();
    if (state.autosave) {
        const std::int16_t number = state.filenumber;
        if (state.filenumber < kFileNumberStop) ++state.filenumber;
        if (number >= kFileNumberLimit) {
            setText(TextBox::PCtext, "999 file number limit reached!");
            console.download.stopWalk();
            console.link.sendsavereport(1);
            host.report(
                FileRefused{FileKind::Image, state.autofilename, false, "file number limit"});
            return false;
        }
        state.currentfile = state.autofilename + threeDigits(number) + ".QTX";
    } else {
        state.currentfile = state.autofilename + ".QTX";
    }
    const std::string path = state.currentfile;
    setText(TextBox::PCtext, "Saving " + path);
    const bool unitscm = console.picture.opticsSettings().unitscm;
    const auto encode = [&](std::vector<std::uint8_t>& bytes) {
        // The record names the image size; rows are written only as far as the array holds
        // them, so a record and array out of step can never read past the pixels.
        ImageRecord written = record;
        written.imagewidth = std::min(record.imagewidth, record.imagedata.width);
        written.imageheight = std::min(record.imageheight, record.imagedata.height);
        // A loaded image writes back the lines its file held; a received one its QTX header.
        bytes = imageFileBytes(
            loaded ? rewriteHeader(loaded->header, loaded->asloaded, written, unitscm)
                   : composeHeader(written, unitscm),
            written);
        return std::string{};
    };
    if (!writeNew(FileKind::Image, path, encode, refuseSave(path),
                  [&] { setText(TextBox::PCtext, path + " saved"); })) {
        return false;
    }
    // The track list writer reports the success of a summed image.
    if (record.numexposures <= 1) console.link.sendsavereport(0);
    return true;
}

// Writes a companion file (track list, mosaic data) beside the image just saved; its name
// comes from `currentfile`, which then names it.
bool Files::writeCompanion(const std::string& extension, const std::string& text) {
    const FileKind kind = extension == ".trk" ? FileKind::TrackList : FileKind::MosaicData;
    state.currentfile = basePath(state.currentfile, extension);
    const std::string path = state.currentfile;
    const auto encode = [&](std::vector<std::uint8_t>& bytes) {
        bytes.assign(text.begin(), text.end());
        return std::string{};
    };
    if (!writeNew(kind, path, encode, refuseSave(path),
                  [&] { setText(TextBox::PCtext, path + " saved"); })) {
        return false;
    }
    console.link.sendsavereport(0);
    return true;
}

void Files::writetracklist() {
    const ImageRecord& record = console.picture.image();
    if (!loaded) {
        writeCompanion(".trk", trackListText(record, console.download.tracklist()));
        return;
    }
    // A loaded image has the track list it was loaded with, or none: the words of the last
    // image received belong to that one, and offsets are never made up.
    if (loaded->tracklistfile) {
        writeCompanion(".trk", *loaded->tracklistfile);
    } else {
        console.link.sendsavereport(0);  // the image file was written
    }
}

void Files::writemosaicdata() {
    const ImageRecord& record = console.picture.image();
    writeCompanion(".txt", mosaicDataText(record, console.download.tracklist()));
}

bool Files::saveImageFiles() {
    const ImageRecord& record = console.picture.image();
    // Companions are written only beside an image that was written: their names come from
    // the image's, and the QTX is told of a refused image once.
    if (!writeimagefile()) return false;
    if (record.numexposures > 1) writetracklist();
    if (record.mosaicsnapshots > 0) writemosaicdata();
    return true;
}

bool Files::saveReceivedImage() { return saveImageFiles(); }

void Files::mnuCompSave_Click() {
    const ImageRecord& record = console.picture.image();
    state.autosave = false;
    const std::string chosen = chooseFile(false, FileFilter::Qtx);
    if (chosen.empty()) {
        host.messageBox("No file name specified");
        return;
    }
    if (record.imagewidth == 0) {
        host.messageBox("No image data available to save");
        return;
    }
    state.autofilename = basePath(chosen, "");
    setText(TextBox::PCtext, "Saving " + state.autofilename + ".QTX");
    saveImageFiles();
}

bool Files::chooseAutoBase() {
    state.autofilename = chooseFile(false, FileFilter::Qtx);
    if (state.autofilename.empty()) {
        setText(TextBox::PCtext, "No file was selected!");
        host.messageBox("No file was selected");
        state.autosave = false;
        return false;
    }
    state.autofilename = basePath(state.autofilename, "");
    setText(TextBox::PCtext, state.autofilename + " selected");
    return true;
}

void Files::mnuautosave_Click() {
    if (!chooseAutoBase()) return;
    const std::string first = state.autofilename + "001.QTX";
    if (fileExists(first)) {
        state.autosave = false;
        host.messageBox(first + " already exists!");
        return;
    }
    state.autosave = true;
    state.filenumber = 1;
}

}  // namespace qtx

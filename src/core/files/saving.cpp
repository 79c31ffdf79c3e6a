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

void Console::refuseSave(const std::string& text, const FileRefused& refused) {
    setText(TextBox::PCtext, text);
    reception.downloadall = false;
    sendsavereport(1);
    host.report(refused);
}

bool Console::writeimagefile() {
    if (files.autosave) {
        const std::int16_t number = files.filenumber;
        if (files.filenumber < kFileNumberStop) ++files.filenumber;
        if (number >= kFileNumberLimit) {
            refuseSave("999 file number limit reached!",
                       {FileKind::Image, files.autofilename, false, "file number limit"});
            return false;
        }
        files.currentfile = files.autofilename + threeDigits(number) + ".QTX";
    } else {
        files.currentfile = files.autofilename + ".QTX";
    }
    setText(TextBox::PCtext, "Saving " + files.currentfile);
    if (fileExists(files.currentfile)) {
        refuseSave(files.currentfile + " already exists!",
                   {FileKind::Image, files.currentfile, true, {}});
        return false;
    }
    // The record names the image size; rows are written only as far as the array holds
    // them, so a record and array out of step can never read past the pixels.
    ImageRecord written = record;
    written.imagewidth = std::min(record.imagewidth, record.imagedata.width);
    written.imageheight = std::min(record.imageheight, record.imagedata.height);
    // A loaded image writes back the lines its file held; a received one its QTX header.
    std::vector<std::uint8_t> header =
        loadedimage
            ? rewriteHeader(loadedimage->header, loadedimage->asloaded, written, optics.unitscm)
            : composeHeader(written, optics.unitscm);
    const WriteResult result =
        writeNewFile(files.currentfile, imageFileBytes(std::move(header), written));
    if (result.outcome == WriteResult::Exists) {
        refuseSave(files.currentfile + " already exists!",
                   {FileKind::Image, files.currentfile, true, {}});
        return false;
    }
    if (result.outcome == WriteResult::Failed) {
        refuseSave(files.currentfile + " could not be written: " + result.reason,
                   {FileKind::Image, files.currentfile, false, result.reason});
        return false;
    }
    setText(TextBox::PCtext, files.currentfile + " saved");
    host.report(FileWritten{FileKind::Image, files.currentfile});
    // The track list writer reports the success of a summed image.
    if (record.numexposures <= 1) sendsavereport(0);
    return true;
}

// Writes a companion file (track list, mosaic data) beside the image just saved; its name
// comes from `currentfile`, which then names it.
bool Console::writeCompanion(const std::string& extension, const std::string& text) {
    const FileKind kind = extension == ".trk" ? FileKind::TrackList : FileKind::MosaicData;
    files.currentfile = basePath(files.currentfile, extension);
    if (fileExists(files.currentfile)) {
        refuseSave(files.currentfile + " already exists!", {kind, files.currentfile, true, {}});
        return false;
    }
    const WriteResult result = writeNewFile(files.currentfile, text);
    if (result.outcome != WriteResult::Written) {
        const bool exists = result.outcome == WriteResult::Exists;
        refuseSave(files.currentfile +
                       (exists ? " already exists!" : " could not be written: " + result.reason),
                   {kind, files.currentfile, exists, result.reason});
        return false;
    }
    setText(TextBox::PCtext, files.currentfile + " saved");
    host.report(FileWritten{kind, files.currentfile});
    sendsavereport(0);
    return true;
}

void Console::writetracklist() {
    if (!loadedimage) {
        writeCompanion(".trk", trackListText(record, reception.tracklist));
        return;
    }
    // A loaded image has the track list it was loaded with, or none: the words of the last
    // image received belong to that one, and offsets are never made up.
    if (loadedimage->tracklistfile) {
        writeCompanion(".trk", *loadedimage->tracklistfile);
    } else {
        sendsavereport(0);  // the image file was written
    }
}

void Console::writemosaicdata() {
    writeCompanion(".txt", mosaicDataText(record, reception.tracklist));
}

bool Console::saveImageFiles() {
    // Companions are written only beside an image that was written: their names come from
    // the image's, and the QTX is told of a refused image once.
    if (!writeimagefile()) return false;
    if (record.numexposures > 1) writetracklist();
    if (record.mosaicsnapshots > 0) writemosaicdata();
    return true;
}

bool Console::autosaveReceivedImage() { return saveImageFiles(); }

void Console::mnuCompSave_Click() {
    files.autosave = false;
    files.dialogopen = false;
    filedialog();
    if (files.dialogfilename.empty()) {
        host.messageBox("No file name specified");
        return;
    }
    if (record.imagewidth == 0) {
        host.messageBox("No image data available to save");
        return;
    }
    files.autofilename = basePath(files.dialogfilename, "");
    setText(TextBox::PCtext, "Saving " + files.autofilename + ".QTX");
    saveImageFiles();
}

bool Console::chooseAutoBase() {
    files.dialogopen = false;
    filedialog();
    files.autofilename = files.dialogfilename;
    if (files.autofilename.empty()) {
        setText(TextBox::PCtext, "No file was selected!");
        host.messageBox("No file was selected");
        files.autosave = false;
        return false;
    }
    files.autofilename = basePath(files.autofilename, "");
    setText(TextBox::PCtext, files.autofilename + " selected");
    return true;
}

void Console::mnuautosave_Click() {
    if (!chooseAutoBase()) return;
    const std::string first = files.autofilename + "001.QTX";
    if (fileExists(first)) {
        files.autosave = false;
        host.messageBox(first + " already exists!");
        return;
    }
    files.autosave = true;
    files.filenumber = 1;
}

}  // namespace qtx

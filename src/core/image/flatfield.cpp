// Flat field correction: load a flat frame, then divide the image by it, shifted and summed
// by the image's track offsets (the arithmetic is image/flat_correction.cpp).
#include "console.hpp"
#include "files/disk.hpp"
#include "files/kelm.hpp"
#include "image/flat_correction.hpp"

namespace qtx {

namespace {

constexpr std::int16_t kMaxColumns = 320;
constexpr std::int16_t kMaxRows = 200;
// No file of 200 rows can carry more: the header block and 200 records of at most 32767
// bytes. A longer file is read this far.
constexpr std::size_t kMaxFlatFileBytes = 2048 + 200 * (2 + 32767);

const char* const kUnreadable = "Flat field unsuccessfully loaded";

std::string refusalText(FlatCorrection::Outcome outcome) {
    switch (outcome) {
        case FlatCorrection::Outcome::Incomplete:
            return "The image is still being received - flat field correction not done";
        case FlatCorrection::Outcome::TooSmall:
            return "Image is too small for flat field correction (12 x 12 pixels at least)";
        case FlatCorrection::Outcome::DarkCentre:
            return "Flat field is too dark at its centre - flat field correction not done";
        case FlatCorrection::Outcome::NoCommonRegion:
            return "Track offsets leave no part of the image in every exposure - flat field "
                   "correction not done";
        case FlatCorrection::Outcome::Corrected:
            break;
    }
    return {};
}

}  // namespace

bool Console::loadflat() {
    files.dialogopen = true;
    filedialog();
    if (files.dialogfilename.empty()) {
        host.messageBox("No file was selected");
        return false;
    }
    const std::string path = files.dialogfilename;
    setText(TextBox::PCtext, path + " loaded");
    files.currentfile = path;

    const ReadResult file = readFileStart(path, kMaxFlatFileBytes);
    if (!file.failure.empty()) {
        host.messageBox(kUnreadable);
        return false;
    }
    // A flat frame sets only its display levels and its own size; what was read before a
    // failure keeps its new value.
    const KelmHeader header = parseHeader(file.bytes);
    if (header.background) record.background = *header.background;
    // A range of 0 has no picture: the flat is shown with the range already in use.
    if (header.range && *header.range != 0) record.range = *header.range;
    if (header.imageheight) flat.flatheight = *header.imageheight;
    if (header.imagewidth) flat.flatwidth = *header.imagewidth;
    if (!header.failure.empty()) {
        host.messageBox(kUnreadable);
        return false;
    }
    setText(TextBox::headertxt, header.info);

    // Too large a flat goes on to the size comparison, which refuses it as well.
    if (flat.flatwidth > kMaxColumns) {
        host.messageBox("Image is too wide - not QTX Format!");
        return true;
    }
    if (flat.flatheight > kMaxRows) {
        host.messageBox("Image is too tall - not QTX Format!");
        return true;
    }
    // A flat of no columns or no rows has nothing to divide by.
    if (flat.flatwidth < 1 || flat.flatheight < 1) {
        host.messageBox(kUnreadable);
        return false;
    }
    PixelArray pixels;
    pixels.resize(flat.flatwidth, flat.flatheight);
    if (!readPixelBlock(file.bytes, header.compressed, pixels).empty()) {
        host.messageBox(kUnreadable);
        return false;
    }
    flat.flatdata = std::move(pixels);
    flat.showflat = true;
    showimage();
    return true;
}

void Console::mnuflatfield_Click() {
    if (!loadflat()) return;
    // The size after the dialog: receive events run while it is open, so the image may have
    // changed since the command began.
    const std::int32_t width = record.imagewidth;
    const std::int32_t height = record.imageheight;
    // A flat refused as too large is wider or taller than any image the record holds, so it
    // stops here although flatdata was never filled.
    if (flat.flatwidth != width || flat.flatheight != height) {
        host.messageBox("Flat field dimensions do not match image!");
        flat.showflat = false;
        return;
    }
    setText(TextBox::PCtext, "Calculating shifted and summed flat field");
    FlatCorrection corrected =
        correctFlatField(record.imagedata, width, height, record.pedestal, flat.flatdata, track);
    if (corrected.outcome != FlatCorrection::Outcome::Corrected) {
        host.messageBox(refusalText(corrected.outcome));
        flat.showflat = false;
        return;
    }
    record.imagedata = std::move(corrected.pixels);
    record.imagewidth = record.imagedata.width;
    record.imageheight = record.imagedata.height;
    setText(TextBox::PCtext, "Done with flat field correction");
    flat.showflat = false;
    mnuautocontrast_Click();
}

}  // namespace qtx

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

// Reads the flat frame into `out`; nothing of the image changes here.
bool Console::loadflat(FlatFile& out) {
    files.dialogopen = true;
    filedialog();
    if (files.dialogfilename.empty()) {
        host.messageBox("No file was selected");
        return false;
    }
    out.path = files.dialogfilename;
    setText(TextBox::PCtext, out.path + " loaded");

    const ReadResult file = readFileStart(out.path, kMaxFlatFileBytes);
    if (!file.failure.empty()) {
        host.messageBox(kUnreadable);
        return false;
    }
    // A flat frame has only its display levels and its own size to say.
    const KelmHeader header = parseHeader(file.bytes);
    if (!header.failure.empty()) {
        host.messageBox(kUnreadable);
        return false;
    }
    out.background = header.background;
    out.range = header.range;
    out.frame.flatheight = header.imageheight.value_or(0);
    out.frame.flatwidth = header.imagewidth.value_or(0);
    out.info = header.info;

    // Too large a flat goes on to the size comparison, which refuses it as well.
    if (out.frame.flatwidth > kMaxColumns) {
        host.messageBox("Image is too wide - not QTX Format!");
        return true;
    }
    if (out.frame.flatheight > kMaxRows) {
        host.messageBox("Image is too tall - not QTX Format!");
        return true;
    }
    // A flat of no columns or no rows has nothing to divide by.
    if (out.frame.flatwidth < 1 || out.frame.flatheight < 1) {
        host.messageBox(kUnreadable);
        return false;
    }
    out.frame.flatdata.resize(out.frame.flatwidth, out.frame.flatheight);
    if (!readPixelBlock(file.bytes, header.compressed, out.frame.flatdata).empty()) {
        host.messageBox(kUnreadable);
        return false;
    }
    return true;
}

void Console::mnuflatfield_Click() {
    FlatFile file;
    if (!loadflat(file)) return;
    // The size after the dialog: receive events run while it is open, so the image may have
    // changed since the command began.
    const std::int32_t width = record.imagewidth;
    const std::int32_t height = record.imageheight;
    // A flat refused as too large is wider or taller than any image the record holds, so it
    // stops here although its pixels were never read.
    if (file.frame.flatwidth != width || file.frame.flatheight != height) {
        host.messageBox("Flat field dimensions do not match image!");
        return;
    }
    // Worked out before anything changes: a refused flat field leaves the image, its levels,
    // the panel and the picture as they were.
    FlatCorrection corrected = correctFlatField(record.imagedata, width, height, record.pedestal,
                                                file.frame.flatdata, track);
    if (corrected.outcome != FlatCorrection::Outcome::Corrected) {
        host.messageBox(refusalText(corrected.outcome));
        return;
    }
    // The flat is shown with its own levels (a range of 0 has no picture: then with the
    // range in use) while the image is corrected.
    files.currentfile = file.path;
    setText(TextBox::headertxt, file.info);
    if (file.background) record.background = *file.background;
    if (file.range && *file.range != 0) record.range = *file.range;
    flat = std::move(file.frame);
    flat.showflat = true;
    showimage();
    setText(TextBox::PCtext, "Calculating shifted and summed flat field");
    record.imagedata = std::move(corrected.pixels);
    record.imagewidth = record.imagedata.width;
    record.imageheight = record.imagedata.height;
    setText(TextBox::PCtext, "Done with flat field correction");
    host.report(FlatFieldApplied{});
    flat.showflat = false;
    mnuautocontrast_Click();
}

}  // namespace qtx

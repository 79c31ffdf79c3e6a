// Flat field correction: a flat frame (read by the files part), then divide the image by it,
// shifted and summed by the image's track offsets (the arithmetic is image/flat_correction.cpp).
#include "console.hpp"
#include "image/flat_correction.hpp"

namespace qtx {

namespace {

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

void ImageView::mnuflatfield_Click() {
    FlatFile file;
    if (!console.files.loadFlat(file)) return;
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
    console.files.setCurrentFile(file.path);
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

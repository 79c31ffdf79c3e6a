// Contrast: Adjust Contrast through the dialog `frmcontrast`, and Auto Contrast (its levels
// are image/contrast.cpp).
#include "console.hpp"
#include "image/contrast.hpp"
#include "image/histogram.hpp"
#include "text/numtext.hpp"

namespace qtx {

void ImageView::mnuautocontrast_Click() {
    const ContrastLevels levels =
        autoContrastLevels(record.imagedata, record.imagewidth, record.imageheight);
    record.background = levels.background;
    record.range = levels.range;
    showimage();
}

void ImageView::mnucontrast_Click() {
    const ContrastTexts typed = host.runContrastDialog(
        {signedText(record.background), signedText(record.range)},
        pixelHistogram(record.imagedata, record.imagewidth, record.imageheight));
    // An empty box is the way to cancel: an empty background changes nothing, an empty
    // range keeps the new background without redrawing.
    if (typed.background.empty()) return;
    // A text that is no number, or one beyond 32 bits, keeps the old level rather than
    // guessing one; so does a range of 0, which has no picture.
    if (const auto background = typedLevel(typed.background)) record.background = *background;
    if (typed.range.empty()) return;
    if (const auto range = typedLevel(typed.range); range && *range != 0) record.range = *range;
    showimage();
}

}  // namespace qtx

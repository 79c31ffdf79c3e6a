// The pixel probe: the image pixel under the pointer, reported in `PCtext`.
#include <algorithm>
#include <optional>

#include "console.hpp"
#include "text/numtext.hpp"

namespace qtx {

void ImageView::Picdata_MouseMove(double x, double y) {
    if (!record.imageshown) return;
    const std::optional<std::int32_t> c = roundToInt32(x - record.xoffset);
    const std::optional<std::int32_t> r = roundToInt32(y - record.yoffset);
    // During a reception the array may be smaller than the image the record names; a
    // position outside either counts as outside the image.
    const int w = std::min<int>(record.imagewidth, record.imagedata.width);
    const int h = std::min<int>(record.imageheight, record.imagedata.height);
    if (!c || !r || *c < 0 || *r < 0 || *c >= w || *r >= h) {
        host.setPointer(Pointer::Default);
        return;
    }
    const int column = *c + 1;
    const int row = *r + 1;
    host.setPointer(Pointer::Crosshair);
    setText(TextBox::PCtext, "Pixel position (" + signedText(column) + ", " + signedText(row) +
                                 ") = " + signedText(record.imagedata.at(column, row)));
}

}  // namespace qtx

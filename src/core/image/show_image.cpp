// The renderer `showimage`: the current image (or the flat frame) into the picture surface
// (the grey levels are image/render.cpp).
#include <algorithm>
#include <utility>
#include <vector>

#include "console.hpp"
#include "image/render.hpp"
#include "text/crlf.hpp"
#include "text/numtext.hpp"

namespace qtx {

namespace {

// The surface of the per-pixel path is the picture box itself.
constexpr int kSurfaceColumns = 320;
constexpr int kSurfaceRows = 200;

// The offsets and grey levels of the picture now on the screen stay with the record.
void keep(ImageRecord& record, Rendering&& rendering) {
    record.xoffset = rendering.xoffset;
    record.yoffset = rendering.yoffset;
    record.picture = std::move(rendering.picture);
}

}  // namespace

void ImageView::showimage() {
    // A range of 0 has no picture; the previous one stays.
    if (record.range == 0) return;

    const SurfaceGeometry geometry = host.surfaceGeometry();
    const int lineBytes = std::max(0, geometry.bytesPerLine);
    const int lines = std::max(0, geometry.scanLines);
    std::vector<std::uint8_t> bits(static_cast<std::size_t>(lineBytes) *
                                   static_cast<std::size_t>(lines));

    if (geometry.bitsPerPixel == 24 || geometry.bitsPerPixel == 32) {
        const int pixelBytes = geometry.bitsPerPixel / 8;
        Rendering r = renderPicture(record, flat, lineBytes / pixelBytes, lines);
        // Only the image is lit; the rest of the buffer is black already.
        for (int y = r.yoffset; y < r.yoffset + r.paintedRows; ++y) {
            const std::uint8_t* grey =
                r.picture.greys.data() +
                static_cast<std::size_t>(y) * static_cast<std::size_t>(r.picture.columns) +
                static_cast<std::size_t>(r.xoffset);
            std::uint8_t* out = bits.data() +
                                static_cast<std::size_t>(y) * static_cast<std::size_t>(lineBytes) +
                                static_cast<std::size_t>(r.xoffset * pixelBytes);
            for (int x = 0; x < r.paintedColumns; ++x) {
                std::fill_n(out, pixelBytes, grey[x]);
                out += pixelBytes;
            }
        }
        host.setBitmapBits(bits);
        keep(record, std::move(r));
    } else {
        host.setBitmapBits(bits);
        Rendering r = renderPicture(record, flat, kSurfaceColumns, kSurfaceRows);
        for (int y = r.yoffset; y < r.yoffset + r.paintedRows; ++y) {
            for (int x = r.xoffset; x < r.xoffset + r.paintedColumns; ++x) {
                const std::uint8_t g =
                    r.picture.greys[static_cast<std::size_t>(y) * kSurfaceColumns +
                                    static_cast<std::size_t>(x)];
                host.setPixel(x, y, Colour{g, g, g});
            }
        }
        keep(record, std::move(r));
    }
    host.repaintPicture();
    record.imageshown = true;
    setText(TextBox::PCtext, "Background =" + signedText(record.background) + crlf +
                                 "Range =" + signedText(record.range));
}

}  // namespace qtx

// The renderer `showimage`: the current image (or the flat frame) into the picture surface.
#include "image/render.hpp"

#include <algorithm>
#include <utility>
#include <vector>

#include "console.hpp"
#include "text/numtext.hpp"

namespace qtx {

namespace {

// The surface of the per-pixel path is the picture box itself.
constexpr int kSurfaceColumns = 320;
constexpr int kSurfaceRows = 200;

// Grey levels of one rendering, each worked out the first time its value is met: the
// pixels of an image cluster on far fewer values than there are pixels.
class GreyLevels {
  public:
    GreyLevels(std::int32_t background, float step)
        : background(background), step(step), known(65536, -1) {}
    std::uint8_t operator()(std::uint16_t p) {
        std::int16_t& g = known[p];
        if (g < 0) g = greyLevel(p, background, step);
        return static_cast<std::uint8_t>(g);
    }

  private:
    std::int32_t background;
    float step;
    std::vector<std::int16_t> known;
};

std::int16_t offsetWithin(int room, int size) {
    // An image larger than the surface starts at its edge; the part that fits is painted.
    return static_cast<std::int16_t>(std::clamp((room - size) / 2, 0, 32767));
}

// The offsets and grey levels of the picture now on the screen stay with the record.
void keep(ImageRecord& record, Rendering&& rendering) {
    record.xoffset = rendering.xoffset;
    record.yoffset = rendering.yoffset;
    record.picture = std::move(rendering.picture);
}

}  // namespace

float levelStep(std::int32_t range) {
    return static_cast<float>(static_cast<double>(range) / 256.0);
}

std::uint8_t greyLevel(std::uint16_t p, std::int32_t background, float step) {
    // p - background in 64 bits: a background typed near the ends of the 32-bit range
    // must not overflow.
    const auto d = static_cast<std::int64_t>(p) - background;
    const double q = static_cast<double>(d) / static_cast<double>(step);
    if (!(q > 0.0)) return 0;
    if (q >= 255.0) return 255;
    return static_cast<std::uint8_t>(roundHalfEven(q));
}

Rendering renderPicture(const ImageRecord& record, const FlatField& flat, std::int32_t columns,
                        std::int32_t rows) {
    Rendering out;
    out.picture.columns = std::max(0, columns);
    out.picture.rows = std::max(0, rows);
    out.picture.greys.assign(
        static_cast<std::size_t>(out.picture.columns) * static_cast<std::size_t>(out.picture.rows),
        0);
    // During a reception the array already has the new size while the record still names
    // the old one: only what both cover is read.
    const PixelArray& source = flat.showflat ? flat.flatdata : record.imagedata;
    const int w =
        std::clamp<int>(flat.showflat ? flat.flatwidth : record.imagewidth, 0, source.width);
    const int h =
        std::clamp<int>(flat.showflat ? flat.flatheight : record.imageheight, 0, source.height);
    out.xoffset = offsetWithin(out.picture.columns, w);
    out.yoffset = offsetWithin(out.picture.rows, h);
    out.paintedColumns = std::min(w, out.picture.columns - out.xoffset);
    out.paintedRows = std::min(h, out.picture.rows - out.yoffset);
    GreyLevels grey(record.background, levelStep(record.range));
    for (int y = 1; y <= out.paintedRows; ++y) {
        std::uint8_t* line = out.picture.greys.data() +
                             static_cast<std::size_t>(y - 1 + out.yoffset) *
                                 static_cast<std::size_t>(out.picture.columns) +
                             static_cast<std::size_t>(out.xoffset);
        for (int x = 1; x <= out.paintedColumns; ++x) *line++ = grey(source.at(x, y));
    }
    return out;
}

void Console::showimage() {
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

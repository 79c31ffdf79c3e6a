// The renderer `showimage`: the current image (or the flat frame) into the picture surface.
#include "image/render.hpp"

#include <algorithm>
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

void Console::showimage() {
    // A range of 0 has no picture; the previous one stays.
    if (record.range == 0) return;

    const SurfaceGeometry geometry = host.surfaceGeometry();
    const int lineBytes = std::max(0, geometry.bytesPerLine);
    const int lines = std::max(0, geometry.scanLines);
    std::vector<std::uint8_t> bits(static_cast<std::size_t>(lineBytes) *
                                   static_cast<std::size_t>(lines));

    // During a reception the array already has the new size while the record still names
    // the old one: only what both cover is read.
    const PixelArray& source = flat.showflat ? flat.flatdata : record.imagedata;
    const int w =
        std::clamp<int>(flat.showflat ? flat.flatwidth : record.imagewidth, 0, source.width);
    const int h =
        std::clamp<int>(flat.showflat ? flat.flatheight : record.imageheight, 0, source.height);
    GreyLevels grey(record.background, levelStep(record.range));

    if (geometry.bitsPerPixel == 24 || geometry.bitsPerPixel == 32) {
        const int pixelBytes = geometry.bitsPerPixel / 8;
        const int columns = lineBytes / pixelBytes;
        record.xoffset = offsetWithin(columns, w);
        record.yoffset = offsetWithin(lines, h);
        const int paintedColumns = std::min(w, columns - record.xoffset);
        const int paintedRows = std::min(h, lines - record.yoffset);
        for (int y = 1; y <= paintedRows; ++y) {
            std::uint8_t* line = bits.data() +
                                 static_cast<std::size_t>(y - 1 + record.yoffset) *
                                     static_cast<std::size_t>(lineBytes) +
                                 static_cast<std::size_t>(record.xoffset * pixelBytes);
            for (int x = 1; x <= paintedColumns; ++x) {
                const std::uint8_t g = grey(source.at(x, y));
                std::fill_n(line, pixelBytes, g);
                line += pixelBytes;
            }
        }
        host.setBitmapBits(bits);
    } else {
        host.setBitmapBits(bits);
        record.xoffset = offsetWithin(kSurfaceColumns, w);
        record.yoffset = offsetWithin(kSurfaceRows, h);
        const int paintedColumns = std::min(w, kSurfaceColumns - record.xoffset);
        const int paintedRows = std::min(h, kSurfaceRows - record.yoffset);
        for (int y = 1; y <= paintedRows; ++y) {
            for (int x = 1; x <= paintedColumns; ++x) {
                const std::uint8_t g = grey(source.at(x, y));
                host.setPixel(x - 1 + record.xoffset, y - 1 + record.yoffset, Colour{g, g, g});
            }
        }
    }
    host.repaintPicture();
    record.imageshown = true;
    setText(TextBox::PCtext, "Background =" + signedText(record.background) + crlf +
                                 "Range =" + signedText(record.range));
}

}  // namespace qtx

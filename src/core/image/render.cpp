// The rendering of the current image (or the flat frame) into grey levels.
#include "image/render.hpp"

#include <algorithm>
#include <vector>

#include "text/numtext.hpp"

namespace qtx {

namespace {

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

}  // namespace qtx

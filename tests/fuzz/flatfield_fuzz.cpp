// Arbitrary sizes, array shapes, pedestal, track offsets and pixels for the flat-field
// arithmetic: it must stay inside both arrays and give a result of the region's size with
// every value in 1..65534, or refuse.
#include <algorithm>
#include <array>

#include "image/flat_correction.hpp"

namespace {

struct Reader {
    const std::uint8_t* data;
    std::size_t size, at = 0, next = 0;
    std::uint8_t byte() { return at < size ? data[at++] : 0; }
    std::uint32_t number(int bytes) {  // little-endian
        const std::uint32_t low = byte();
        return bytes == 1 ? low : low | number(bytes - 1) << 8;
    }
    // The rest of the input, over and over, as pixel values.
    std::uint16_t cycled() {
        if (at >= size) return 0;
        if (next < at || next >= size) next = at;
        const std::uint8_t low = data[next++];
        return static_cast<std::uint16_t>(low | ((next < size ? data[next++] : 0) << 8));
    }
    // Mostly small, so that shifts overlap often; now and then up to the surface.
    std::int32_t extent(std::int32_t largest) {
        const std::uint8_t b = byte();
        return b < 240 ? b % 30 : (b - 240) * largest / 15;
    }
    // Near the image size most of the time, anything else now and then.
    std::int16_t offset(bool raw) {
        return static_cast<std::int16_t>(raw ? number(2) : static_cast<std::int8_t>(byte()) % 24);
    }
    qtx::PixelArray pixels(std::int32_t w, std::int32_t h) {
        qtx::PixelArray p;
        p.resize(static_cast<std::int16_t>(w), static_cast<std::int16_t>(h));
        for (std::uint16_t& cell : p.cells) cell = cycled();
        return p;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Reader in{data, size};
    const std::int32_t width = in.extent(320);
    const std::int32_t height = in.extent(200);
    // The arrays may be smaller or larger than the size named, as during a reception.
    const std::int32_t imageW = std::max(0, width + in.byte() % 5 - 2);
    const std::int32_t imageH = std::max(0, height + in.byte() % 5 - 2);
    const std::int32_t flatW = std::max(0, width + in.byte() % 3 - 1);
    const std::int32_t flatH = std::max(0, height + in.byte() % 3 - 1);
    const auto pedestal = static_cast<std::int32_t>(in.number(4));
    qtx::TrackOffsets track;
    track.trackcount = static_cast<std::int16_t>(in.number(2));
    const std::size_t pairs = in.byte() % 66;
    for (std::size_t k = 1; k < track.trackx.size() && k <= pairs; ++k) {
        const std::uint8_t how = in.byte();
        track.trackx[k] = in.offset((how & 1) != 0);
        track.tracky[k] = in.offset((how & 2) != 0);
    }
    const qtx::PixelArray image = in.pixels(imageW, imageH);
    const qtx::PixelArray flat = in.pixels(flatW, flatH);

    const qtx::FlatCorrection out =
        qtx::correctFlatField(image, width, height, pedestal, flat, track);
    const qtx::PixelArray& p = out.pixels;
    // A refusal keeps nothing; a result is the region's size, inside the image.
    const bool corrected = out.outcome == qtx::FlatCorrection::Outcome::Corrected;
    if (p.cells.empty() == corrected ||
        (corrected && (out.mean <= 0 || out.xmin < 1 || out.ymin < 1 || out.xmax > width ||
                       out.ymax > height || out.xmin > out.xmax || out.ymin > out.ymax ||
                       p.width != out.xmax - out.xmin + 1 || p.height != out.ymax - out.ymin + 1 ||
                       p.cells.size() != static_cast<std::size_t>(p.width * p.height))) ||
        std::ranges::any_of(p.cells, [](std::uint16_t v) { return v < 1 || v > 65534; }))
        __builtin_trap();

    std::array<std::int32_t, 320> words{};
    for (std::int32_t& w : words) w = in.cycled();
    const qtx::TrackOffsets received = qtx::receivedTrackOffsets(words, track.trackcount);
    if (received.trackcount < 1 || received.trackcount > qtx::kMaxTrackPairs) __builtin_trap();
    return 0;
}

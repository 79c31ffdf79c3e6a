// Arbitrary bytes as an image file: the header reader and the pixel block reader must stay
// inside the bytes and the pixel array, whatever the header claims. And whatever the texts
// of a record hold, the header written for it reads back, also when it is written from the
// lines of a loaded file.
#include <algorithm>
#include <string>
#include <vector>

#include "files/kelm.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    qtx::ImageRecord r;
    r.imagewidth = 17;
    r.imagenote = text;
    r.imagedate = text.substr(0, size / 2);
    r.filtername = text.substr(size / 2);
    const qtx::KelmHeader back = qtx::parseHeader(qtx::composeHeader(r, false));
    if (!back.failure.empty() || back.imagewidth != 17) __builtin_trap();

    const std::span<const std::uint8_t> file(data, size);
    const qtx::KelmHeader header = qtx::parseHeader(file);
    if (!header.failure.empty()) return 0;

    // Saved again as a loaded image whose note the user changed, the file's lines read back
    // as they were (when they leave room for the note; otherwise the record's own lines).
    qtx::ImageRecord loaded;
    const std::vector<std::string> asLoaded = qtx::headerLines(loaded, false);
    loaded.imagenote = text.substr(0, size % 300);
    const std::vector<std::uint8_t> block = qtx::rewriteHeader(header, asLoaded, loaded, false);
    const qtx::KelmHeader again = qtx::parseHeader(block);
    // An upper bound of the block's size: every Note line of the file takes the new note when
    // it differs, one more may go before End, a first line may name the packed form, an LF
    // that starts a line may get one more; then the 0x1A.
    const std::size_t noteLine = 9 + loaded.imagenote.size();
    std::size_t used = 22 + noteLine + 1;
    for (const std::string& line : header.lines) {
        const std::size_t own = line.size() + 1 + line.starts_with('\n');
        used += line.starts_with("Note =") ? std::max(own, noteLine) : own;
    }
    if (block.size() != qtx::kKelmHeaderBytes || !again.failure.empty() || !again.compressed ||
        (used <= qtx::kKelmHeaderBytes &&
         (again.imagewidth != header.imagewidth || again.imageheight != header.imageheight ||
          again.background != header.background || again.numexposures != header.numexposures)))
        __builtin_trap();
    // A size a loaded image may have; the fuzzer's own small sizes reach the rows sooner.
    const int width = header.imagewidth.value_or(3);
    const int height = header.imageheight.value_or(2);
    if (width < 1 || height < 1 || width > 320 || height > 200) return 0;
    qtx::PixelArray pixels;
    pixels.resize(static_cast<std::int16_t>(width), static_cast<std::int16_t>(height));
    (void)qtx::readPixelBlock(file, header.compressed, pixels);
    if (pixels.cells.size() != static_cast<std::size_t>(width * height)) __builtin_trap();
    return 0;
}

// The header decoder and the panel text on arbitrary blocks.
#include <algorithm>

#include "image/header.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qtx::ImageFacts h;
    h.range = 1;  // a range word of 0 keeps it
    const qtx::OpticsFlags optics = qtx::decodeHeaderBlock(std::span(data, size), h);
    // No 16-bit field turns negative; the levels stay within 0..32767 and a range is never 0.
    if (h.hdrheight < 0 || h.hdrwidth < 0 || h.hdrfirstrow < 0 || h.hdrfirstcolumn < 0 ||
        h.numexposures < 0 || h.sitenumber < 0 || h.background < 0 || h.background > 32767 ||
        h.range <= 0 || h.range > 32767)
        __builtin_trap();
    if (h.hdrheight == 0) return 0;
    const std::string panel = qtx::headerPanelText(h, optics.unitscm);
    if (std::ranges::count(panel, '\n') != 19 || !panel.ends_with("End")) __builtin_trap();
    return 0;
}

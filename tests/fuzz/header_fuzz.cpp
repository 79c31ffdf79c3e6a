// The header decoder and the panel text on arbitrary blocks.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "image/header.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const qtx::HeaderBlock h = qtx::decodeHeaderBlock(std::span<const std::uint8_t>(data, size));
    // No 16-bit field turns negative; the levels stay within 0..32767 and a range is never 0.
    if (h.hdrheight < 0 || h.hdrwidth < 0 || h.hdrfirstrow < 0 || h.hdrfirstcolumn < 0 ||
        h.numexposures < 0 || h.sitenumber < 0) {
        std::abort();
    }
    if (h.background < 0 || h.background > 32767) std::abort();
    if (h.range && (*h.range <= 0 || *h.range > 32767)) std::abort();
    if (h.hdrheight == 0) return 0;

    qtx::ImageRecord r;
    r.hdrheight = h.hdrheight;
    r.hdrwidth = h.hdrwidth;
    r.exposuretime = h.exposuretime;
    r.exposure100 = h.exposure100;
    r.numexposures = h.numexposures;
    r.focallength = h.focallength;
    r.aperturearea = h.aperturearea;
    r.imagedate = h.imagedate;
    r.imagetime = h.imagetime;
    r.temperature = h.temperature;
    r.sitenumber = h.sitenumber;
    r.egain100 = h.egain100;
    r.background = h.background;
    r.range = h.range.value_or(1);
    r.pedestal = h.pedestal;
    r.pixelsize = h.pixelsize.value_or(0.0F);
    r.filtername = h.filtername;
    const std::string panel = qtx::headerPanelText(r, h.unitscm);
    std::size_t breaks = 0;
    for (std::size_t at = panel.find("\r\n"); at != std::string::npos;
         at = panel.find("\r\n", at + 2)) {
        ++breaks;
    }
    if (breaks != 19 || panel.substr(panel.size() - 3) != "End") std::abort();
    return 0;
}

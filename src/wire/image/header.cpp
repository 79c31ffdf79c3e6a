// Decoding of the image header block and the information panel.
#include "image/header.hpp"

#include <algorithm>

#include "image/aperture.hpp"
#include "link/le16.hpp"
#include "text/crlf.hpp"
#include "text/numtext.hpp"

namespace qtx {

namespace {

std::uint16_t wordAt(std::span<const std::uint8_t> block, std::size_t offset) {
    if (block.size() < offset + 2) return 0;
    return le16(block, offset);
}

// The words of the 16-bit fields hold 0..32767; a larger word is limited to 32767, as the
// background and range words are, so that no field turns negative.
std::int16_t fieldWord(std::span<const std::uint8_t> block, std::size_t offset) {
    return static_cast<std::int16_t>(std::min<std::uint16_t>(wordAt(block, offset), 32767));
}

bool bit(std::uint16_t flags, int n) { return ((flags >> n) & 1U) != 0; }

}  // namespace

OpticsFlags decodeHeaderBlock(std::span<const std::uint8_t> block, ImageFacts& h) {
    h.hdrflags = wordAt(block, 0);
    const std::uint16_t flags = h.hdrflags;
    const OpticsFlags optics{!bit(flags, 1), !bit(flags, 2)};
    switch ((flags >> 4) & 3U) {
        case 1:
            h.pixelsize = 0.0074F, h.binning = 0;
            break;
        case 2:
            h.pixelsize = 0.0148F, h.binning = 1;
            break;
        case 3:
            h.pixelsize = 0.0222F, h.binning = 2;
            break;
        default:
            break;
    }
    h.filtername = bit(flags, 11) ? "Lunar" : "None";
    h.history = bit(flags, 12) ? "g" : "-";
    h.mosaicsnapshots = bit(flags, 14) ? 6 : bit(flags, 13) ? 40 : 0;
    h.hdrheight = fieldWord(block, 2);
    if (h.hdrheight == 0) return optics;

    h.hdrwidth = fieldWord(block, 4);
    h.hdrfirstrow = fieldWord(block, 6);
    h.hdrfirstcolumn = fieldWord(block, 8);

    const std::int32_t e = wordAt(block, 10);
    if (e <= 60000) {
        h.exposuretime = e / 100.0;
        h.exposure100 = e;
    } else {
        h.exposuretime = (e - 60000) / 1000.0;
        h.exposure100 = (e - 60000) / 10;
    }
    h.numexposures = fieldWord(block, 12);

    h.focallength = static_cast<float>(wordAt(block, 18) / 100.0);
    const float d = static_cast<float>(wordAt(block, 20) / 10.0);
    h.aperturediameter = d;
    h.aperturearea = static_cast<float>(discArea(d) * apertureFactor(optics.apertureflag));

    const std::uint16_t date = wordAt(block, 22);
    const int month = (date >> 12) & 0xF;
    const int day = (date >> 7) & 0x1F;
    const int year = (date & 0x7F) + 1999;
    h.imageyear = static_cast<std::int16_t>(year);
    h.imagedate = formatPattern(month, "00") + "/" + formatPattern(day, "00") + "/" +
                  formatPattern(year, "0000");

    const std::uint16_t time = wordAt(block, 24);
    const int hour = ((time >> 12) & 0xF) + (bit(flags, 10) ? 12 : 0);
    h.imagetime = formatPattern(hour, "##") + ":" + formatPattern((time >> 6) & 0x3F, "00") + ":" +
                  formatPattern(time & 0x3F, "00");

    std::int32_t t = wordAt(block, 26);
    if (t >= 32768) t -= 65536;
    h.temperature = static_cast<float>(t / 100.0);

    h.sitenumber = fieldWord(block, 28);
    h.egain100 = wordAt(block, 30);
    h.background = std::min<std::int32_t>(wordAt(block, 32), 32767);
    // A range of 0 cannot be drawn with; the previous range is kept instead.
    const std::int32_t range = std::min<std::int32_t>(wordAt(block, 34), 32767);
    if (range != 0) h.range = range;
    h.pedestal = wordAt(block, 36);
    return optics;
}

std::string headerPanelText(const ImageFacts& r, bool unitscm) {
    const std::string lines[] = {
        "QTX Image",
        "Exposure = " + formatPattern(r.exposuretime, "##0.000") + " Seconds",
        "Focal Length = " + formatPattern(r.focallength, "###0.00") + (unitscm ? " cm" : " inches"),
        "Aperture = " + formatPattern(r.aperturearea, "###0.000") +
            (unitscm ? " cm^2" : " inches^2"),
        "Background = " + signedText(r.background),
        "Range = " + signedText(r.range),
        "Height = " + signedText(r.hdrheight) + " Pixels",
        "Width = " + signedText(r.hdrwidth) + " Pixels",
        "Date = " + r.imagedate,
        "Time = " + r.imagetime,
        "Temperature = " + formatPattern(r.temperature, "#0.00") + " degrees C",
        "Number_exposures = " + signedText(r.numexposures),
        "Each_exposure = " + signedText(r.exposure100),
        "Observer = Site" + signedText(r.sitenumber),
        "X Pixel Size = " + formatPattern(r.pixelsize, "0.0000") + " mm",
        "Y Pixel Size = " + formatPattern(r.pixelsize, "0.0000") + " mm",
        "Pedestal = " + signedText(r.pedestal),
        "Egain = " + formatPattern(r.egain100 / 100.0, "#0.0") + " e-/ADU",
        "Filter = " + r.filtername,
        "End",
    };
    std::string text;
    for (const std::string& line : lines) {
        if (!text.empty()) text += crlf;
        text += line;
    }
    return text;
}

}  // namespace qtx

// Arbitrary bytes as the header of an image file: whatever its lines hold, CFITSIO takes
// every card the FITS export makes of them.

#include "files/fits_file.hpp"
#include "files/kelm.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const qtx::KelmHeader header = qtx::parseHeader(std::span(data, size));
    // As the load applies them; the numbers of the record only ever become decimal texts.
    qtx::ImageRecord r;
    r.imagedate = header.imagedate.value_or("");
    r.imagetime = header.imagetime.value_or("");
    r.imagenote = header.imagenote.value_or("");
    r.focallength = header.focallength.value_or(0.0F);
    r.aperturearea = header.aperturearea.value_or(0.0F);
    r.temperature = header.temperature.value_or(0.0F);
    const std::uint16_t pixel = 0;
    const auto cards = qtx::fitsCards(r, &header, true, "fuzz");
    if (!qtx::encodeFits(1, 1, std::span(&pixel, 1), cards).failure.empty()) __builtin_trap();
    return 0;
}

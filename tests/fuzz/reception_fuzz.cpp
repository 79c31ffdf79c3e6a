// The whole receive side of an image exchange on arbitrary bytes from the port, with the
// picture readers (probe, renderer, Auto Contrast) and watchdog ticks mixed in. Nothing may
// read or write outside the pixel array, the receive buffer or the surface.
// Input: chunks, each a control byte and its bytes. control & 7: 0..4 the next
// (control >> 4) * 64 + 1 bytes arrive at the port; 5 a pointer move over the picture, at the
// next two bytes; 6 Auto Contrast, then a redraw; 7 a watchdog tick. Bit 3: a surface of 24
// bits per pixel instead of 32; bit 7 of the first: autosave.
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qtx::test::FuzzConsole f(size > 0 && (data[0] & 0x80) != 0);
    qtx::Console& console = f.console;
    console.mnudownloadlight_Click();
    int renders = 0;
    for (std::size_t pos = 0; pos < size;) {
        const std::uint8_t control = data[pos++];
        f.host.bitsPerPixel = (control & 0x08) != 0 ? 24 : 32;
        if ((control & 7) == 5 && pos + 2 <= size) {
            console.Picdata_MouseMove(0, 0, data[pos] * 1.5 - 20.0, data[pos + 1] - 20.0);
            pos += 2;
        } else if ((control & 7) == 6 && ++renders <= 3) {  // renders are the slow step
            console.mnuautocontrast_Click();
        } else if ((control & 7) == 7) {
            console.watchdogTick();
        } else if ((control & 7) < 5) {
            const std::size_t n = std::min<std::size_t>(((control >> 4) * 64U) + 1U, size - pos);
            f.arrive(std::span(data + pos, n));
            pos += n;
        }
        f.check();
        // After a completed image the record names exactly the array it holds.
        const qtx::ImageRecord& r = console.image();
        if (r.imagewidth > r.imagedata.width && console.transfer().imagecomplete &&
            !console.transfer().headerpending)
            __builtin_trap();
    }
    console.showimage();
    return 0;
}

// The whole receive side of an image exchange on arbitrary bytes from the port, with the
// picture readers (probe, renderer, Auto Contrast) and watchdog ticks mixed in. Nothing may
// read or write outside the pixel array, the receive buffer or the surface.
//
// Input: a sequence of chunks, each a control byte followed by its bytes:
//   control & 0x07 == 0..4   the next (control >> 4) * 64 + 1 bytes arrive at the port
//   5                        a pointer move over the picture, at the next two bytes
//   6                        Auto Contrast, then a redraw
//   7                        a watchdog tick
//   bit 3                    the surface has 24 bits per pixel instead of 32
#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "console.hpp"

namespace {

class FuzzHost : public qtx::Host {
  public:
    std::vector<std::uint8_t> incoming;
    int bitsPerPixel = 32;

    bool openPort(int, const std::string&) override { return true; }
    void closePort() override {}
    std::string portFailureDetail() override { return {}; }
    void applySettings(const std::string&) override {}
    void write(std::span<const std::uint8_t>) override {}
    std::vector<std::uint8_t> readAll() override {
        std::vector<std::uint8_t> out;
        out.swap(incoming);
        return out;
    }
    void startTimer(int) override {}
    void stopTimer() override {}
    void setText(qtx::TextBox, const std::string&, bool) override {}
    void messageBox(const std::string&) override {}
    std::string prompt(const std::string&, const std::string&, const std::string&) override {
        return {};
    }
    void setTurboColour(qtx::Colour) override {}
    void setPointer(qtx::Pointer) override {}
    qtx::ContrastTexts runContrastDialog(const qtx::ContrastTexts&,
                                         const qtx::Histogram&) override {
        return {};
    }
    qtx::SurfaceGeometry surfaceGeometry() override {
        return {320 * bitsPerPixel / 8, 200, bitsPerPixel};
    }
    void setBitmapBits(std::span<const std::uint8_t> bits) override {
        const auto g = surfaceGeometry();
        if (bits.size() != static_cast<std::size_t>(g.bytesPerLine) * g.scanLines) __builtin_trap();
    }
    void setPixel(int x, int y, qtx::Colour) override {
        if (x < 0 || y < 0 || x >= 320 || y >= 200) __builtin_trap();
    }
    void repaintPicture() override {}
    void showProgress(const qtx::Progress& p) override {
        if (p.done < 0 || p.done > p.total) __builtin_trap();
    }
    void hideProgress() override {}
    std::string fileDialog(bool, const std::string&) override { return {}; }
    void startOneShot(int) override {}
    void stopOneShot() override {}
    void endProgram() override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzHost host;
    qtx::Console console(host);
    console.Form_Load();
    console.files.autosave = (size > 0 && (data[0] & 0x80) != 0);
    console.files.autofilename = "/nonexistent-folder-of-the-fuzzer/img";  // saves fail fast
    console.mnudownloadlight_Click();
    std::size_t pos = 0;
    int renders = 0;
    while (pos < size) {
        const std::uint8_t control = data[pos++];
        host.bitsPerPixel = (control & 0x08) != 0 ? 24 : 32;
        switch (control & 0x07) {
            case 5:
                if (pos + 2 <= size) {
                    console.Picdata_MouseMove(0, 0, data[pos] * 1.5 - 20.0, data[pos + 1] - 20.0);
                    pos += 2;
                }
                break;
            case 6:
                // Renders are the slow step; a few per input cover them.
                if (++renders <= 3) console.mnuautocontrast_Click();
                break;
            case 7:
                console.watchdogTick();
                break;
            default: {
                const std::size_t n =
                    std::min<std::size_t>(((control >> 4) * 64U) + 1U, size - pos);
                host.incoming.assign(data + pos, data + pos + n);
                pos += n;
                console.onSerialEvent(qtx::SerialEvent::DataReceived);
                break;
            }
        }
        if (console.link.rxcount < 0 || console.link.rxcount > 1024) __builtin_trap();
        if (console.record.imagewidth > console.record.imagedata.width &&
            console.reception.imagecomplete && !console.reception.headerpending) {
            // After a completed image the record names exactly the array it holds.
            __builtin_trap();
        }
    }
    console.showimage();
    return 0;
}

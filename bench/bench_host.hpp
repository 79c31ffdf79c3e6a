// A Host that does nothing but hand over incoming bytes: the benchmarks measure the core.
#pragma once

#include <functional>

#include "console.hpp"
#include "host.hpp"
#include "image_frames.hpp"

namespace qtx::bench {

class BenchHost : public Host {
  public:
    std::vector<std::uint8_t> incoming;
    std::size_t bytesWritten = 0;
    std::vector<std::uint8_t> surface;

    bool openPort(int, const std::string&) override { return true; }
    void closePort() override {}
    std::string portFailureDetail() override { return {}; }
    void applySettings(const std::string&) override {}
    void write(std::span<const std::uint8_t> bytes) override { bytesWritten += bytes.size(); }
    std::vector<std::uint8_t> readAll() override { return incoming; }
    void startTimer(int) override {}
    void stopTimer() override {}
    void setText(TextBox, const std::string&, bool) override {}
    void messageBox(const std::string&) override {}
    std::string prompt(const std::string&, const std::string&, const std::string&) override {
        return {};
    }
    void setTurboColour(Colour) override {}
    void setPointer(Pointer) override {}
    ContrastTexts runContrastDialog(const ContrastTexts&, const Histogram&) override { return {}; }
    SurfaceGeometry surfaceGeometry() override { return {320 * 4, 200, 32}; }
    void setBitmapBits(std::span<const std::uint8_t> bits) override {
        surface.assign(bits.begin(), bits.end());
    }
    void setPixel(int, int, Colour) override {}
    void repaintPicture() override {}
    void showProgress(const Progress&) override {}
    void hideProgress() override {}
    std::string fileAnswer;  // what every file dialog answers
    std::string fileDialog(bool, const std::string&) override { return fileAnswer; }
    void startOneShot(int) override {}
    void stopOneShot() override {}
    void endProgram() override {}
    void report(const Event&) override {}
};

// A 320 x 200 frame as the QTX sends it, received on a started console: its header (inches,
// one exposure, these display levels), then raw rows of pixel(x, y), from 1.
inline void receiveImage(BenchHost& host, Console& console, std::uint16_t background,
                         std::uint16_t range, const std::function<int(int, int)>& pixel) {
    console.Form_Load();
    console.mnudownloadlight_Click();
    test::ImageHeader header;
    header.height = 200, header.width = 320, header.background = background, header.range = range;
    for (const auto& frame : test::imageFrames(header, pixel)) {
        host.incoming = frame;
        console.onSerialEvent(SerialEvent::DataReceived);
    }
    host.incoming.clear();
}

}  // namespace qtx::bench

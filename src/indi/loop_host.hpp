// The half of a Host that the driver's loop provides: the serial port (COM1 is the device the
// INDI client chose, a local one or rfc2217://HOST:PORT or tcp://HOST:PORT, watched through
// libindi's event loop), the watchdog and one-shot timers
// on libindi's timers, and a window that is not there (no picture, no prompts, no contrast
// dialog). The driver derives from it and adds the texts, the file choice and the events.
//
// What happens at the port and the timers goes to the console the driver attached; nothing
// here polls or blocks, apart from a bounded wait for room when the device's buffer is full.
#pragma once

#include <string>
#include <vector>

#include "host.hpp"
#include "loop_timer.hpp"
#include "network_line.hpp"
#include "serial_line.hpp"

namespace qtx {
class Console;
}

namespace qtx::indi {

class LoopHost : public Host {
  public:
    LoopHost();
    ~LoopHost() override;

    // The console that hears the port and the timers (the driver's own).
    void attach(Console& console) { owner = &console; }
    // The device behind COM1 from its next opening on.
    void setDevice(std::string device) { com1 = std::move(device); }
    // Stops both timers: the driver ends an exchange that nobody follows any more.
    void stopTimers();
    bool portIsOpen() const { return line->isOpen(); }

    bool openPort(int portNumber, const std::string& settings) override;
    void closePort() override;
    std::string portFailureDetail() override { return failure; }
    void applySettings(const std::string& settings) override;
    void write(std::span<const std::uint8_t> bytes) override;
    std::vector<std::uint8_t> readAll() override;

    void startTimer(int intervalMs) override { watchdog.start(intervalMs, true); }
    void stopTimer() override { watchdog.stop(); }
    void startOneShot(int intervalMs) override { oneShot.start(intervalMs); }
    void stopOneShot() override { oneShot.stop(); }

    std::string prompt(const std::string&, const std::string&, const std::string&) override {
        return {};  // nobody to ask: as if cancelled
    }
    void setPointer(Pointer) override {}
    ContrastTexts runContrastDialog(const ContrastTexts&, const Histogram&) override { return {}; }
    // Whole 32-bit lines, so that a picture is handed over in one call and nothing is drawn.
    SurfaceGeometry surfaceGeometry() override { return {320 * 4, 200, 32}; }
    void setBitmapBits(std::span<const std::uint8_t>) override {}
    void setPixel(int, int, Colour) override {}
    void repaintPicture() override {}
    // DISCONNECT closes the link; the driver itself runs until indiserver ends it.
    void endProgram() override {}

  private:
    static void onReadable(int fd, void* self);
    void lose();
    void unwatch();

    Console* owner = nullptr;
    std::string com1;
    SerialLine serialLine;
    NetworkLine networkLine;
    Line* line = &serialLine;  // the one in use
    LineSettings remembered;
    std::string failure;
    std::vector<std::uint8_t> waiting;  // read at the receive event, not yet taken
    int watchId = -1;
    int emptyEvents = 0;  // receive events in a row that found nothing to read
    LoopTimer watchdog;
    LoopTimer oneShot;
    LoopTimer announce;  // data that came as the port opened
};

}  // namespace qtx::indi

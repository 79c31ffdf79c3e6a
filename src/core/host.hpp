// The one way out of the core: everything the console needs from the machine and the
// toolkit. The Qt shell implements it; tests implement it with FakeHost.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "events.hpp"
#include "image/histogram.hpp"

namespace qtx {

enum class TextBox { PCtext, QTXText, headertxt };
enum class SerialEvent { DataReceived, Other };
enum class Pointer { Default, Crosshair };

struct Colour {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    friend bool operator==(const Colour&, const Colour&) = default;
};

// Geometry of the picture surface as the bitmap description gives it.
struct SurfaceGeometry {
    std::int32_t bytesPerLine = 0;
    std::int32_t scanLines = 0;
    std::int32_t bitsPerPixel = 0;
};

// What the two boxes of the contrast dialog hold when it is hidden again; both empty when
// the user closed it with the window's close button.
struct ContrastTexts {
    std::string background;
    std::string range;
};

// What is on its way, for the progress display. Rows of an image (of buffer `buffer`; during
// a Download All also which image of how many are known so far), or pages of an upload.
struct Progress {
    enum class Kind { Rows, Pages };
    Kind kind = Kind::Rows;
    int done = 0;
    int total = 0;
    int repeats = 0;  // requests or frames sent again for this transfer
    int buffer = -1;  // the QTX buffer of an image (-1: not an image)
    int image = 0;    // during a Download All: the image coming in, from 1 (0: not in one)
    int images = 0;   // the number of images that Download All fetches
    friend bool operator==(const Progress&, const Progress&) = default;
};

class Host {
  public:
    virtual ~Host() = default;

    // Serial port, one at a time (COM1 or COM2). openPort applies the settings string
    // ("115200,N,8,2") and opens; false when the port could not be opened.
    virtual bool openPort(int portNumber, const std::string& settings) = 0;
    virtual void closePort() = 0;
    // Why the last openPort failed, in words a user can act on ("" when nothing to add).
    virtual std::string portFailureDetail() = 0;
    virtual void applySettings(const std::string& settings) = 0;
    virtual void write(std::span<const std::uint8_t> bytes) = 0;  // whole, in order
    virtual std::vector<std::uint8_t> readAll() = 0;              // every waiting byte

    // The watchdog timer `entrytimer`: periodic, ticks call Console::watchdogTick.
    virtual void startTimer(int intervalMs) = 0;
    virtual void stopTimer() = 0;

    // The window.
    virtual void setText(TextBox box, const std::string& text, bool repaintNow) = 0;
    virtual void messageBox(const std::string& text) = 0;  // OK button, default title
    virtual std::string prompt(const std::string& prompt, const std::string& title,
                               const std::string& defaultText) = 0;  // "" on cancel
    virtual void setTurboColour(Colour colour) = 0;
    virtual void setPointer(Pointer shape) = 0;
    // Shows `frmcontrast` modally with the given texts and the current image's histogram,
    // and returns what its boxes hold.
    virtual ContrastTexts runContrastDialog(const ContrastTexts& initial,
                                            const Histogram& histogram) = 0;
    // The one file dialog: open or save, with a filter text of description and pattern
    // pairs joined by "|" whose second pair is selected at start. "" when cancelled.
    virtual std::string fileDialog(bool open, const std::string& filter) = 0;

    // The picture surface `Picdata`.
    virtual SurfaceGeometry surfaceGeometry() = 0;
    virtual void setBitmapBits(std::span<const std::uint8_t> bits) = 0;
    virtual void setPixel(int x, int y, Colour colour) = 0;
    virtual void repaintPicture() = 0;

    // Progress of an image or an upload; the shell adds the time estimate from its clock.
    virtual void showProgress(const Progress& progress) = 0;
    virtual void hideProgress() = 0;

    // A one-shot timer beside the watchdog: after intervalMs, unless stopped or started
    // again, the shell calls Console::oneShotElapsed once.
    virtual void startOneShot(int intervalMs) = 0;
    virtual void stopOneShot() = 0;

    // End the program (after the link has been closed).
    virtual void endProgram() = 0;

    // What happened, typed; a front end that needs no facts beside the texts ignores them.
    virtual void report(const Event& event) = 0;
};

}  // namespace qtx

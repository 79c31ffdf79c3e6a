// The simulated QTX: the device side of the serial protocol, bytes in and bytes out. No
// I/O, no clock, no threads: the same bytes in (and the same seed) give the same bytes out.
//
//   receive(bytes) -> its receiver finds frames -> each is answered -> takeOutput()
//
// What it answers:
//   CMD_KEY            MSG_ACK, then MSG_DISPLAY (and MSG_IMAGE_OFFER or MSG_FLASH_OFFER when
//                      the key asks for it)
//   CMD_REMOTE         MSG_DISPLAY when switched on; nothing when switched off
//   CMD_LINK_OK        MSG_LINK_OK
//   CMD_HEADER_REQ     MSG_HEADER (64-byte header block; an empty buffer gives height 0)
//   CMD_ROW_REQ        MSG_ROW, or MSG_ROW_RAW for rows the row code cannot carry exactly
//   CMD_ROW_RAW        MSG_ROW_RAW (row 200: the 320-word track row)
//   CMD_DOWNLOAD_ALL   MSG_BUFFER_STATUS (word for buffers 16..31 first, then 0..15)
//   CMD_DOWNLOAD_END,
//   CMD_DECLINE        MSG_DISPLAY (the transfer is over)
//   CMD_SAVED          nothing
//   CMD_CODE_BEGIN,
//   CMD_CODE_PAGE      MSG_ACK, or MSG_NAK for a frame out of order
//   CMD_CODE_END       MSG_ACK and the new display when the code checks out, else MSG_NAK and
//                      the failure on the display
//   anything else      MSG_NAK
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "link/frame_reader.hpp"
#include "model/faults.hpp"
#include "model/firmware.hpp"
#include "model/rng.hpp"
#include "model/star_field.hpp"

namespace qtx::sim {

// Key codes of the keypad; the Turbo bit rides on the four arrows.
namespace key {
inline constexpr std::uint16_t kFocus = 0x0001;
inline constexpr std::uint16_t kImage = 0x0002;
inline constexpr std::uint16_t kMonitor = 0x0004;
inline constexpr std::uint16_t kTurbo = 0x0008;
inline constexpr std::uint16_t kParameter = 0x0010;
inline constexpr std::uint16_t kSetup = 0x0020;
inline constexpr std::uint16_t kValue = 0x0040;
inline constexpr std::uint16_t kInterrupt = 0x0080;
inline constexpr std::uint16_t kCalibrate = 0x0100;
inline constexpr std::uint16_t kTrack = 0x0200;
inline constexpr std::uint16_t kDisplay = 0x0400;
inline constexpr std::uint16_t kFileOps = 0x0800;
inline constexpr std::uint16_t kDown = 0x1000;
inline constexpr std::uint16_t kUp = 0x2000;
inline constexpr std::uint16_t kRight = 0x4000;
inline constexpr std::uint16_t kLeft = 0x8000;
}  // namespace key

inline constexpr int kDisplayWidth = 24;

struct ModelOptions {
    std::uint64_t seed = 1;
    bool linkRequestOnContact = false;  // ask for the link when the first frame arrives
    bool flashOfferOnRemote = false;    // offer the buffers after the first CMD_REMOTE 1
    FaultPlan faults;                   // on the QTX's answers
    FaultPlan requestFaults;            // on the console's requests, before the QTX reads them
};

enum class Direction { In, Out };

// Every frame both ways as it passes, with a note (damage, discards); for the log.
using FrameWatcher =
    std::function<void(Direction, std::span<const std::uint8_t>, const std::string& note)>;

enum class Mode { Home, Focus, Image, Monitor, Calibrate, Track, Display, FileOps, Setup };

class QtxModel {
  public:
    explicit QtxModel(const ModelOptions& options = {});
    QtxModel(const QtxModel&) = delete;
    QtxModel& operator=(const QtxModel&) = delete;

    // The line.
    void receive(std::span<const std::uint8_t> bytes);
    std::vector<std::uint8_t> takeOutput();  // delays of the fault plan ignored
    std::vector<Emission> takeEmissions();
    bool hasOutput() const { return !output.empty(); }
    void lineIdle();  // the line went quiet: give up a frame that stopped half-way
    bool holdsPartialFrame() const { return reader.held() > 0 || cutter.held() > 0; }
    void setWatcher(FrameWatcher watcher);
    void setFaults(const FaultPlan& plan) { output.setPlan(plan); }
    // A request chosen for delay is answered late: its answers wait as a delayed frame does.
    void setRequestFaults(const FaultPlan& plan) { inbound.setPlan(plan); }

    // The instrument on its own: its keypad, and what it sends unasked.
    void pressKey(std::uint16_t code);  // a key on the QTX itself: no acknowledgement
    void requestLink();
    void offerImage();
    void offerFlash();

    // What can be seen of it.
    std::string displayLine(int line) const;  // 0 or 1, 24 characters
    std::array<std::uint8_t, 48> displayBytes() const;
    const ImageBuffer& buffer(int n) const { return buffers.at(static_cast<std::size_t>(n)); }
    std::uint32_t bufferBitmap() const;
    bool remote() const { return remoteOn; }
    Mode mode() const { return panel.mode; }
    const CodeLoader& code() const { return loader; }
    std::uint32_t framesSent() const { return output.framesSent(); }
    std::uint32_t framesReceived() const { return received; }
    std::optional<int> lastSaveReport() const { return saveReport; }
    const ExposureSettings& settings() const { return panel.settings; }

  private:
    // Line and dispatch (qtx_model.cpp).
    void onFrame(const RxFrame& frame);
    void send(std::uint8_t code, std::span<const std::uint8_t> payload = {});
    void sendDisplay();
    void answerHeader(const RxFrame& frame);
    void answerRow(const RxFrame& frame);
    void answerCode(const RxFrame& frame);
    void restart();

    // Keypad and display (keypad.cpp).
    struct Outcome {
        bool offerImage = false;
        bool offerFlash = false;
    };
    Outcome applyKey(std::uint16_t code);
    void show(std::string line1, std::string line2);
    void showHome(const std::string& note = "");
    void showSetup();
    void showDisplayBuffer();
    void showFileItem();
    void arrowKey(std::uint16_t arrow, bool big);
    Outcome valueKey();
    void measureFocus();
    void exposeScreen();
    void storeSetupEdit();
    std::int32_t setupValue(int param) const;
    void setSetupValue(int param, std::int32_t value);
    std::string setupText(int param, std::int32_t value) const;
    std::string bufferSummary(int n) const;

    struct Panel {
        Mode mode = Mode::Home;
        bool turbo = false;
        std::string line1, line2;
        std::string homeNote;  // second line of the home screen until the next key
        ExposureSettings settings;
        int param = 0;
        bool editing = false;
        std::int32_t edit = 0;
        int focuser = 500;
        int bestFocus = 500;
        bool calibrated = false;
        bool tracking = false;
        double angle = 0;
        int displayBuffer = 0;
        int fileItem = 0;
        std::uint32_t exposuresTaken = 0;
        SimTime clock;
    };

    ModelOptions options;
    FrameReader reader;
    FrameCutter cutter;
    OutputStage inbound;
    OutputStage output;
    FrameWatcher watch;
    Rng panelRng;
    std::array<ImageBuffer, kBufferCount> buffers;
    CodeLoader loader;
    Panel panel;
    bool remoteOn = false;
    bool contacted = false;
    bool flashOffered = false;
    std::uint32_t received = 0;
    std::optional<int> saveReport;
};

}  // namespace qtx::sim

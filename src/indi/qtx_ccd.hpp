// indi_qtx's one device, "QTX": a CCD on INDI whose every action is an entry point of the
// console, the same core as the window and qtx.
//
//   CONNECT / DISCONNECT       Establish Link (COM1 = DEVICE_PORT) / remote operation off
//   QTX_DISPLAY                the QTX's two display lines, as the QTX sends them
//   QTX_ACQUIRE ... QTX_TURBO  the keypad, grouped as on the front panel
//   QTX_DOWNLOAD               Download Screen Image, Download All, Abort Download All
//   QTX_STATUS                 the console's PC message (also sent as INDI messages)
//   CCD_EXPOSURE               the Image key; done when the screen image has arrived
//   CCD1                       every image that arrives, as FITS (the FITS export's cards)
//   CCD_INFO, CCD_TEMPERATURE  from the last image header (the temperature read-only)
//   CCD_ABORT_EXPOSURE         Abort Download All
//
// The driver decides from the console's events and Host calls, never from its texts.
#pragma once

#include <libindi/indiccd.h>

#include <array>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "console.hpp"
#include "loop_host.hpp"
#include "loop_timer.hpp"

namespace qtx::indi {

class QtxSerial;

class QtxCcd : public INDI::CCD {
  public:
    QtxCcd();
    ~QtxCcd() override;

    const char* getDefaultName() override { return "QTX"; }
    bool initProperties() override;
    bool updateProperties() override;
    void ISGetProperties(const char* dev) override;
    bool ISNewSwitch(const char* dev, const char* name, ISState* states, char* names[],
                     int n) override;
    bool ISNewNumber(const char* dev, const char* name, double values[], char* names[],
                     int n) override;

  protected:
    bool Disconnect() override;
    bool StartExposure(float duration) override;
    bool AbortExposure() override;

  private:
    class DriverHost;
    friend class DriverHost;

    // One group of front-panel keys: a switch vector whose elements are momentary buttons.
    struct Key {
        const char* name;
        const char* label;
        void (Console::*click)();
    };
    struct KeyGroup {
        KeyGroup(const char* property, const char* label, std::vector<Key> keys)
            : property(property), label(label), keys(std::move(keys)) {}
        const char* property;
        const char* label;
        std::vector<Key> keys;
        std::vector<ISwitch> switches;
        ISwitchVectorProperty vector{};
    };

    enum class Exposing { No, AwaitingKey, AwaitingImage, Receiving };
    enum class Fetching { No, Screen, All };

    bool handshake();
    void showText(TextBox box, const std::string& text);
    void showMessage(const std::string& text);
    void showTurbo(bool on);
    std::string chooseFile(bool open);
    void showProgress(const Progress& progress);
    void happened(const Event& event);

    bool pressKey(KeyGroup& group, const char* element);
    bool download(const char* element);
    void keyAnswered(IPState state);
    void imageReceived(int buffer, const ImageRecord& record);
    void sendImage(const std::vector<std::uint8_t>& fits);
    void endExposure(bool success, const std::string& why = {});
    void fetchEnded(IPState state);
    void setStatusState(IPState state, const std::string& why = {});
    void portGone();

    DriverHost* host();

    std::unique_ptr<DriverHost> hostStorage;
    std::unique_ptr<Console> console;
    QtxSerial* serial = nullptr;

    // Properties of our own.
    IText displayT[2]{};
    ITextVectorProperty displayTP{};
    IText statusT[1]{};
    ITextVectorProperty statusTP{};
    std::array<KeyGroup, 6> keyGroups;
    ISwitch turboS[1]{};
    ISwitchVectorProperty turboSP{};
    ISwitch downloadS[3]{};
    ISwitchVectorProperty downloadSP{};
    IBLOB imageB{};
    IBLOBVectorProperty imageBP{};

    // What the console is doing for the clients.
    std::string lastStatus;
    bool refused = false;       // the console showed a message box during the current command
    bool answeringAll = false;  // Download All's file dialog is being answered
    bool linked = false;        // the QTX answered since the last Establish Link
    ISwitchVectorProperty* keyWaiting = nullptr;  // the key group awaiting its acknowledgement
    Exposing exposing = Exposing::No;
    float requested = 0;    // the exposure a client asked for, seconds
    double rowSeconds = 0;  // one row on the line, for the countdown
    std::chrono::steady_clock::time_point lastCountdown;
    Fetching fetching = Fetching::No;

    LoopTimer keyDeadline;
    LoopTimer linkDeadline;
    LoopTimer exposureDeadline;
    LoopTimer lossFollowUp;
};

}  // namespace qtx::indi

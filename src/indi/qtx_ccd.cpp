#include "qtx_ccd.hpp"

#include <libindi/indilogger.h>

#include <cmath>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "files/disk.hpp"
#include "files/fits_file.hpp"
#include "files/fits_keywords.hpp"
#include "qtx_serial.hpp"
#include "text/crlf.hpp"
#include "text/numtext.hpp"
#include "upload_names.hpp"

#ifndef QTX_VERSION
#define QTX_VERSION "0"
#endif

namespace qtx::indi {

namespace {

constexpr const char* kSoftware = "indi_qtx " QTX_VERSION;
constexpr const char* kPanelTab = "Front Panel";
constexpr int kScreenBuffer = 31;
// How long the QTX has to acknowledge a key, and to answer at all after Establish Link.
constexpr int kKeyAnswerMs = 2000;
constexpr int kLinkAnswerMs = 3000;
// After the Image key the QTX exposes for as long as set on it, which the driver learns only
// from the image's header: this long is waited for the image to be offered at most.
constexpr double kLongestExposureS = 600;
constexpr double kOfferGraceS = 60;
// A row on the line: two bytes a pixel, the frame around it and the request for it, at
// 11 bits a byte (start, 8 data, 2 stop bits).
constexpr double kRowFrameBytes = 16;
constexpr double kBitsPerByte = 11;
// The countdown is sent to clients at most this often.
constexpr auto kCountdownPeriod = std::chrono::milliseconds(250);

std::string seconds(double value) { return formatPattern(value, "0.000"); }

}  // namespace

class QtxCcd::DriverHost final : public LoopHost {
  public:
    explicit DriverHost(QtxCcd& driver) : driver(driver) {}
    void setText(TextBox box, const std::string& text, bool) override {
        driver.showText(box, text);
    }
    void messageBox(const std::string& text) override { driver.showMessage(text); }
    // Green is Turbo on, red off.
    void setTurboColour(Colour colour) override { driver.showTurbo(colour.green > colour.red); }
    std::string fileDialog(bool open, const std::string&) override {
        return driver.chooseFile(open);
    }
    void showProgress(const Progress& progress) override { driver.showProgress(progress); }
    void hideProgress() override {}
    void report(const Event& event) override { driver.happened(event); }

  private:
    QtxCcd& driver;
};

QtxCcd::QtxCcd()
    : hostStorage(std::make_unique<DriverHost>(*this)),
      console(std::make_unique<Console>(*hostStorage)),
      keyGroups{{
          {"QTX_ACQUIRE",
           "Acquire",
           {{"FOCUS", "Focus", &Console::cmdfocus_Click},
            {"IMAGE", "Image", &Console::cmdimage_Click},
            {"MONITOR", "Monitor", &Console::cmdmonitor_Click}}},
          {"QTX_GUIDE",
           "Guide",
           {{"CALIBRATE", "Calibrate", &Console::cmdcalibrate_Click},
            {"TRACK", "Track", &Console::cmdtrack_Click}}},
          {"QTX_PROCESS",
           "Process",
           {{"DISPLAY", "Display", &Console::cmddisplay_Click},
            {"FILE_OPS", "File Ops", &Console::cmdfileops_Click}}},
          {"QTX_CONTROL",
           "Control",
           {{"PARAMETER", "Parameter", &Console::cmdparameter_Click},
            {"VALUE", "Value", &Console::cmdvalue_Click},
            {"UP", "Up", &Console::cmdup_Click},
            {"DOWN", "Down", &Console::cmddown_Click},
            {"LEFT", "Left", &Console::cmdleft_Click},
            {"RIGHT", "Right", &Console::cmdright_Click}}},
          {"QTX_SETUP", "Setup", {{"SETUP", "Setup", &Console::cmdsetup_Click}}},
          {"QTX_INTERRUPT",
           "Interrupt",
           {{"INTERRUPT", "Interrupt", &Console::cmdinterrupt_Click}}},
      }},
      keyDeadline([this] { keyAnswered(IPS_ALERT); }),
      linkDeadline([this] {
          if (linked) return;
          setStatusState(IPS_ALERT, std::string("No answer from the QTX on ") + serial->port() +
                                        " at " + std::to_string(serial->baud()) +
                                        " baud yet: is it switched on and set to this speed?");
      }),
      exposureDeadline([this] {
          endExposure(false, exposing == Exposing::AwaitingKey
                                 ? "The QTX did not acknowledge the Image key."
                                 : "The QTX offered no image after the Image key.");
      }),
      lossFollowUp([this] { portGone(); }) {
    hostStorage->attach(*console);
    setVersion(1, 15);
}

QtxCcd::~QtxCcd() {
    // indiserver went away (the driver ends when its input does): the QTX is not left in
    // remote operation.
    if (host()->portIsOpen()) console->closeLink();
}

QtxCcd::DriverHost* QtxCcd::host() { return hostStorage.get(); }

bool QtxCcd::initProperties() {
    INDI::CCD::initProperties();
    SetCCDCapability(CCD_CAN_ABORT);

    serial = new QtxSerial(this);
    serial->registerHandshake([this] { return handshake(); });
    registerConnection(serial);

    // The QTX reports its temperature in every header; nothing on it can be set.
    TemperatureNP.p = IP_RO;
    PrimaryCCD.setMinMaxStep("CCD_EXPOSURE", "CCD_EXPOSURE_VALUE", 0.001, 3600, 0.001, false);

    IUFillText(&displayT[0], "LINE_1", "Line 1", "");
    IUFillText(&displayT[1], "LINE_2", "Line 2", "");
    IUFillTextVector(&displayTP, displayT, 2, getDeviceName(), "QTX_DISPLAY", "Display", kPanelTab,
                     IP_RO, 0, IPS_IDLE);
    IUFillText(&statusT[0], "PC_MESSAGE", "PC Message", "");
    IUFillTextVector(&statusTP, statusT, 1, getDeviceName(), "QTX_STATUS", "Status",
                     MAIN_CONTROL_TAB, IP_RO, 0, IPS_IDLE);
    for (KeyGroup& group : keyGroups) {
        group.switches.resize(group.keys.size());
        for (std::size_t i = 0; i < group.keys.size(); ++i) {
            IUFillSwitch(&group.switches[i], group.keys[i].name, group.keys[i].label, ISS_OFF);
        }
        IUFillSwitchVector(&group.vector, group.switches.data(),
                           static_cast<int>(group.switches.size()), getDeviceName(), group.property,
                           group.label, kPanelTab, IP_RW, ISR_ATMOST1, 0, IPS_IDLE);
    }
    IUFillSwitch(&turboS[0], "TURBO", "Turbo", ISS_OFF);
    IUFillSwitchVector(&turboSP, turboS, 1, getDeviceName(), "QTX_TURBO", "Turbo", kPanelTab, IP_RW,
                       ISR_NOFMANY, 0, IPS_IDLE);
    IUFillSwitch(&downloadS[0], "SCREEN", "Download Screen Image", ISS_OFF);
    IUFillSwitch(&downloadS[1], "ALL", "Download All", ISS_OFF);
    IUFillSwitch(&downloadS[2], "ABORT", "Abort Download All", ISS_OFF);
    IUFillSwitchVector(&downloadSP, downloadS, 3, getDeviceName(), "QTX_DOWNLOAD", "Download",
                       MAIN_CONTROL_TAB, IP_RW, ISR_ATMOST1, 0, IPS_IDLE);
    // The same vector as the CCD's own image property, sent with the driver's FITS bytes.
    IUFillBLOB(&imageB, "CCD1", "Image", "");
    IUFillBLOBVector(&imageBP, &imageB, 1, getDeviceName(), "CCD1", "Image Data", "Image Info",
                     IP_RO, 60, IPS_IDLE);

    addDebugControl();
    addConfigurationControl();
    return true;
}

void QtxCcd::ISGetProperties(const char* dev) {
    INDI::CCD::ISGetProperties(dev);
    // Always there, so that a client sees why a connection failed or was lost.
    defineProperty(&statusTP);
}

bool QtxCcd::updateProperties() {
    INDI::CCD::updateProperties();
    if (isConnected()) {
        defineProperty(&displayTP);
        for (KeyGroup& group : keyGroups) defineProperty(&group.vector);
        defineProperty(&turboSP);
        defineProperty(&downloadSP);
        defineProperty(&TemperatureNP);
    } else {
        deleteProperty(displayTP.name);
        for (KeyGroup& group : keyGroups) deleteProperty(group.vector.name);
        deleteProperty(turboSP.name);
        deleteProperty(downloadSP.name);
        deleteProperty(TemperatureNP.name);
    }
    return true;
}

bool QtxCcd::ISNewSwitch(const char* dev, const char* name, ISState* states, char* names[], int n) {
    if (dev && std::strcmp(dev, getDeviceName()) == 0) {
        if (serial->refusesSpeed(name, states, names, n)) return true;
        // Each of these presses one thing: exactly one element on, and one that exists.
        const char* chosen = nullptr;
        int on = 0;
        for (int i = 0; i < n; ++i) {
            if (states[i] == ISS_ON) {
                chosen = names[i];
                ++on;
            }
        }
        const auto refuse = [](ISwitchVectorProperty& vector, const std::string& why) {
            vector.s = IPS_ALERT;
            IDSetSwitch(&vector, "%s", why.c_str());
            return true;
        };
        for (KeyGroup& group : keyGroups) {
            if (std::strcmp(name, group.vector.name) != 0) continue;
            if (on != 1) return refuse(group.vector, "Press one key at a time.");
            if (!pressKey(group, chosen)) {
                return refuse(group.vector, std::string("The QTX has no key ") + chosen + " in " +
                                                group.label + ".");
            }
            return true;
        }
        if (std::strcmp(name, turboSP.name) == 0) {
            if (n != 1 || std::strcmp(names[0], turboS[0].name) != 0) {
                return refuse(turboSP, "Turbo has the one switch TURBO.");
            }
            // Turbo is a toggle on the QTX: pressed only when the client asks for a change.
            if ((states[0] == ISS_ON) != (turboS[0].s == ISS_ON)) {
                refused = false;
                console->cmdturbo_Click();
                turboSP.s = refused ? IPS_ALERT : IPS_BUSY;
                if (!refused) {
                    keyWaiting = &turboSP;
                    keyDeadline.start(kKeyAnswerMs);
                }
            }
            IDSetSwitch(&turboSP, nullptr);
            return true;
        }
        if (std::strcmp(name, downloadSP.name) == 0) {
            if (on != 1) return refuse(downloadSP, "Choose one download command at a time.");
            if (!download(chosen)) {
                return refuse(downloadSP,
                              std::string("There is no download command ") + chosen + ".");
            }
            return true;
        }
    }
    return INDI::CCD::ISNewSwitch(dev, name, states, names, n);
}

bool QtxCcd::ISNewNumber(const char* dev, const char* name, double values[], char* names[], int n) {
    if (dev && std::strcmp(dev, getDeviceName()) == 0 &&
        std::strcmp(name, TemperatureNP.name) == 0) {
        IDSetNumber(&TemperatureNP, "The QTX's temperature can only be read.");
        return true;
    }
    return INDI::CCD::ISNewNumber(dev, name, values, names, n);
}

bool QtxCcd::pressKey(KeyGroup& group, const char* element) {
    const Key* key = nullptr;
    for (const Key& k : group.keys) {
        if (std::strcmp(k.name, element) == 0) key = &k;
    }
    if (!key) return false;
    if (keyWaiting && keyWaiting != &group.vector) {
        // The console takes the next acknowledgement for this key now.
        keyWaiting->s = IPS_IDLE;
        IDSetSwitch(keyWaiting, nullptr);
    }
    refused = false;
    (console.get()->*key->click)();
    IUResetSwitch(&group.vector);
    if (refused) {
        group.vector.s = IPS_ALERT;
        keyWaiting = nullptr;
    } else {
        group.vector.s = IPS_BUSY;
        keyWaiting = &group.vector;
        keyDeadline.start(kKeyAnswerMs);
    }
    IDSetSwitch(&group.vector, nullptr);
    return true;
}

bool QtxCcd::download(const char* element) {
    refused = false;
    IUResetSwitch(&downloadSP);
    if (std::strcmp(element, "SCREEN") == 0) {
        console->mnudownloadlight_Click();
        if (!refused) fetching = Fetching::Screen;
    } else if (std::strcmp(element, "ALL") == 0) {
        answeringAll = true;
        console->mnuflashdownload_Click();
        answeringAll = false;
        if (!refused) fetching = Fetching::All;
    } else if (std::strcmp(element, "ABORT") == 0) {
        // The image in transfer is completed; the walk then ends (DownloadAllEnded).
        console->mnuabort_Click();
        downloadSP.s = fetching == Fetching::All ? IPS_BUSY : IPS_OK;
        IDSetSwitch(&downloadSP, nullptr);
        return true;
    } else {
        return false;
    }
    downloadSP.s = refused ? IPS_ALERT : IPS_BUSY;
    IDSetSwitch(&downloadSP, nullptr);
    return true;
}

bool QtxCcd::handshake() {
    host()->setDevice(serial->port());
    linked = false;
    console->setBaud(static_cast<std::int32_t>(serial->baud()));
    console->establishLink(1);
    if (!host()->portIsOpen()) {
        setStatusState(IPS_ALERT);
        return false;
    }
    setStatusState(IPS_BUSY);  // until the QTX answers
    linkDeadline.start(kLinkAnswerMs);
    return true;
}

bool QtxCcd::Disconnect() {
    linkDeadline.stop();
    keyAnswered(IPS_IDLE);
    // Nothing more is fetched; the QTX leaves remote operation and the port closes.
    console->mnuabort_Click();
    console->closeLink();
    // An exchange that was under way has nobody to answer it any more.
    host()->stopTimers();
    endExposure(false, "The exposure ended with the connection.");
    fetchEnded(IPS_IDLE);
    setStatusState(IPS_IDLE);
    return INDI::CCD::Disconnect();
}

bool QtxCcd::StartExposure(float duration) {
    requested = duration;
    PrimaryCCD.setExposureDuration(duration);
    refused = false;
    console->cmdimage_Click();
    if (refused) return false;
    exposing = Exposing::AwaitingKey;
    exposureDeadline.start(kKeyAnswerMs);
    InExposure = true;
    return true;
}

bool QtxCcd::AbortExposure() {
    // As Abort Download All: nothing is sent to the QTX, an image in transfer is completed
    // (and still sent to the clients).
    console->mnuabort_Click();
    exposing = Exposing::No;
    exposureDeadline.stop();
    InExposure = false;
    return true;
}

void QtxCcd::showText(TextBox box, const std::string& text) {
    const std::string plain = plainLines(text);
    if (box == TextBox::PCtext) {
        IUSaveText(&statusT[0], plain.c_str());
        IDSetText(&statusTP, nullptr);
        if (plain != lastStatus) IDMessage(getDeviceName(), "%s", plain.c_str());
        lastStatus = plain;
    } else if (box == TextBox::QTXText) {
        const std::size_t cut = plain.find('\n');
        IUSaveText(&displayT[0], plain.substr(0, cut).c_str());
        IUSaveText(&displayT[1], cut == std::string::npos ? "" : plain.substr(cut + 1).c_str());
        displayTP.s = IPS_OK;
        IDSetText(&displayTP, nullptr);
    }
}

void QtxCcd::showMessage(const std::string& text) {
    refused = true;
    LOG_ERROR(plainLines(text).c_str());
}

void QtxCcd::showTurbo(bool on) {
    turboS[0].s = on ? ISS_ON : ISS_OFF;
    IDSetSwitch(&turboSP, nullptr);
}

std::string QtxCcd::chooseFile(bool open) {
    // The only file the driver's commands ask for is Download All's base name.
    if (open || !answeringAll) return {};
    const std::string folder =
        UploadSettingsT[UPLOAD_DIR].text ? UploadSettingsT[UPLOAD_DIR].text : "";
    const auto base = downloadAllBase(folder, std::time(nullptr));
    if (!base) {
        LOG_ERROR(("Download All keeps its .QTX files in the upload directory, and its path "
                   "must not hold a '.': '" +
                   folder + "'")
                      .c_str());
        return {};
    }
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        LOG_ERROR(
            ("The upload directory " + folder + " cannot be made: " + error.message()).c_str());
        return {};
    }
    LOG_INFO(("Download All saves the images as " + *base + "001.QTX and on").c_str());
    return *base;
}

void QtxCcd::showProgress(const Progress& progress) {
    if (exposing != Exposing::Receiving || progress.kind != Progress::Kind::Rows) return;
    const auto now = std::chrono::steady_clock::now();
    if (progress.done < progress.total && now - lastCountdown < kCountdownPeriod) return;
    lastCountdown = now;
    PrimaryCCD.setExposureLeft(std::max(0, progress.total - progress.done) * rowSeconds);
}

void QtxCcd::happened(const Event& event) {
    if (std::holds_alternative<LinkEstablished>(event) ||
        std::holds_alternative<KeyAcknowledged>(event)) {
        // The first answer after Establish Link may be the acknowledgement of a key.
        linked = true;
        linkDeadline.stop();
        setStatusState(IPS_OK);
        keyAnswered(IPS_OK);
    } else if (std::holds_alternative<PortLost>(event)) {
        // Told from the loop, once the console has finished with the loss.
        lossFollowUp.start(0);
    } else if (std::holds_alternative<CommunicationFailed>(event)) {
        setStatusState(IPS_ALERT);
        endExposure(false);
        fetchEnded(IPS_ALERT);
    } else if (const auto* started = std::get_if<ImageStarted>(&event)) {
        if (exposing == Exposing::AwaitingImage && started->buffer == kScreenBuffer) {
            exposing = Exposing::Receiving;
            exposureDeadline.stop();
            rowSeconds = (2.0 * started->width + kRowFrameBytes) * kBitsPerByte /
                         static_cast<double>(serial->baud());
            lastCountdown = {};
        }
    } else if (const auto* received = std::get_if<ImageReceived>(&event)) {
        if (received->record) imageReceived(received->buffer, *received->record);
    } else if (const auto* ended = std::get_if<DownloadAllEnded>(&event)) {
        if (fetching == Fetching::All) {
            fetchEnded(ended->end == DownloadAllEnded::End::Failed ? IPS_ALERT : IPS_OK);
        }
    }
}

void QtxCcd::keyAnswered(IPState state) {
    if (keyWaiting) {
        keyWaiting->s = state;
        IDSetSwitch(keyWaiting, nullptr);
        keyWaiting = nullptr;
    }
    keyDeadline.stop();
    if (state == IPS_OK && exposing == Exposing::AwaitingKey) {
        exposing = Exposing::AwaitingImage;
        const double wait = std::max<double>(requested, kLongestExposureS) + kOfferGraceS;
        exposureDeadline.start(static_cast<int>(wait * 1000));
    }
}

void QtxCcd::imageReceived(int buffer, const ImageRecord& record) {
    const FitsBytes fits = imageFits(record, nullptr, false, kSoftware);
    const double pixel = micrometres(record.pixelsize);
    SetCCDParams(record.imagewidth, record.imageheight, 16, pixel, pixel);
    TemperatureN[0].value = record.temperature;
    TemperatureNP.s = IPS_OK;
    IDSetNumber(&TemperatureNP, nullptr);
    if (fits.failure.empty()) {
        sendImage(fits.bytes);
    } else {
        LOG_ERROR(("The image could not be laid out as FITS: " + fits.failure).c_str());
    }
    if (buffer != kScreenBuffer) return;
    if (fetching == Fetching::Screen) fetchEnded(fits.failure.empty() ? IPS_OK : IPS_ALERT);
    if (exposing == Exposing::No) return;
    if (std::fabs(record.exposuretime - requested) >= 0.0005) {
        LOG_WARN(("The QTX exposed for " + seconds(record.exposuretime) +
                  " s, as set on it, not the " + seconds(requested) +
                  " s asked for; EXPTIME holds the real time.")
                     .c_str());
    }
    endExposure(fits.failure.empty());
}

void QtxCcd::sendImage(const std::vector<std::uint8_t>& fits) {
    const bool toClient = UploadS[UPLOAD_CLIENT].s == ISS_ON || UploadS[UPLOAD_BOTH].s == ISS_ON;
    const bool keep = UploadS[UPLOAD_LOCAL].s == ISS_ON || UploadS[UPLOAD_BOTH].s == ISS_ON;
    if (keep) {
        const std::string folder =
            UploadSettingsT[UPLOAD_DIR].text ? UploadSettingsT[UPLOAD_DIR].text : "";
        const std::string prefix =
            UploadSettingsT[UPLOAD_PREFIX].text ? UploadSettingsT[UPLOAD_PREFIX].text : "";
        std::error_code error;
        std::filesystem::create_directories(folder, error);
        // Never over an existing file: the next free number.
        WriteResult result;
        std::string path;
        for (int number = 1; number <= 999; ++number) {
            path = localImagePath(folder, prefix, number);
            result = writeNewFile(path, fits);
            if (result.outcome != WriteResult::Exists) break;
        }
        if (result.outcome == WriteResult::Written) {
            IUSaveText(&FileNameT[0], path.c_str());
            FileNameTP.s = IPS_OK;
            IDSetText(&FileNameTP, nullptr);
        } else {
            LOG_ERROR(("The image was not saved: " + path +
                       (result.outcome == WriteResult::Exists ? " and 998 more exist"
                                                              : ": " + result.reason))
                          .c_str());
        }
    }
    if (toClient) {
        imageB.blob = const_cast<std::uint8_t*>(fits.data());
        imageB.bloblen = imageB.size = static_cast<int>(fits.size());
        std::strncpy(imageB.format, ".fits", MAXINDIBLOBFMT - 1);
        imageBP.s = IPS_OK;
        IDSetBLOB(&imageBP, nullptr);
        imageB.blob = nullptr;
    }
}

void QtxCcd::endExposure(bool success, const std::string& why) {
    if (exposing == Exposing::No) return;
    exposing = Exposing::No;
    exposureDeadline.stop();
    InExposure = false;
    if (success) {
        PrimaryCCD.setExposureLeft(0);
        PrimaryCCD.setExposureComplete();
    } else {
        if (!why.empty()) LOG_ERROR(why.c_str());
        PrimaryCCD.setExposureFailed();
    }
}

void QtxCcd::fetchEnded(IPState state) {
    if (fetching == Fetching::No) return;
    fetching = Fetching::No;
    downloadSP.s = state;
    IDSetSwitch(&downloadSP, nullptr);
}

void QtxCcd::setStatusState(IPState state, const std::string& why) {
    statusTP.s = state;
    if (why.empty()) {
        IDSetText(&statusTP, nullptr);
    } else {
        IDSetText(&statusTP, "%s", why.c_str());
    }
}

void QtxCcd::portGone() {
    linkDeadline.stop();
    keyAnswered(IPS_ALERT);
    endExposure(false);
    fetchEnded(IPS_ALERT);
    setStatusState(IPS_ALERT);
    // The console's words are the status text already; CONNECT opens the port again.
    setConnected(false, IPS_ALERT);
    updateProperties();
}

}  // namespace qtx::indi

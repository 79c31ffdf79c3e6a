// The QTX's own keypad and two-line display: a small menu that behaves like the
// instrument. Mode keys choose what the arrows, Parameter and Value do:
//
//   Focus      arrows move the focuser (Turbo: 10 steps), Value measures again
//   Image      takes an exposure into buffer 31 (summed while tracking) and offers it
//   Monitor    sky and peak of the screen image
//   Calibrate  finds a star, Value calibrates the guider
//   Track      starts guiding once calibrated; Value reads the guide error again
//   Display    arrows choose a buffer, Value puts it on the screen and offers it
//   File Ops   arrows choose an operation, Value carries it out
//   Setup      Parameter or left/right choose a setting, up/down change it (Turbo: big
//              steps), Value stores it
//   Interrupt  stops guiding, drops an unstored change, returns to the home screen
// Turbo (0x0008 on, 0x0000 off) shows a T in the corner of the display.
#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdio>

#include "model/qtx_model.hpp"
#include "text/numtext.hpp"

namespace qtx::sim {

namespace {

enum SetupParam {
    kExposure,
    kBinning,
    kGain,
    kFocalLength,
    kAperture,
    kSite,
    kUnits,
    kSum,
    kParams
};

constexpr std::array<const char*, kParams> kParamNames{
    "Exposure", "Binning", "Gain", "Focal length", "Aperture", "Site", "Units", "Sum"};

constexpr std::array<std::uint32_t, 19> kExposuresMs{
    1,    2,    5,     10,    20,    50,    100,    200,    500,   1000,
    2000, 5000, 10000, 20000, 30000, 60000, 120000, 300000, 600000};

// Electrons per count x 100 at gain x1, x2, x4, x8, x16.
constexpr std::array<std::uint16_t, 5> kGains{400, 200, 100, 50, 25};

constexpr std::array<const char*, 4> kFileItems{"Send all buffers", "Send screen image",
                                                "Clear screen", "Code version"};

std::string fit(std::string s) {
    s.resize(kDisplayWidth, ' ');
    return s;
}

std::string twoDigits(int n) {
    char s[8];
    std::snprintf(s, sizeof s, "%02d", n);
    return s;
}

std::string seconds(std::uint32_t ms) { return formatPattern(ms / 1000.0, "##0.000"); }

int exposureIndex(std::uint32_t ms) {
    const auto it = std::lower_bound(kExposuresMs.begin(), kExposuresMs.end(), ms);
    return static_cast<int>(
        std::min<std::ptrdiff_t>(it - kExposuresMs.begin(), kExposuresMs.size() - 1));
}

int gainIndex(std::uint16_t egain100) {
    const auto it = std::find(kGains.begin(), kGains.end(), egain100);
    return it == kGains.end() ? 1 : static_cast<int>(it - kGains.begin());
}

bool isArrow(std::uint16_t code) {
    const std::uint16_t arrow = code & 0xF000;
    return (code & ~0xF008) == 0 && std::has_single_bit(static_cast<unsigned>(arrow));
}

}  // namespace

std::string QtxModel::displayLine(int line) const {
    std::string s = fit(line == 0 ? panel.line1 : panel.line2);
    if (line == 0 && panel.turbo) s[kDisplayWidth - 1] = 'T';
    return s;
}

std::array<std::uint8_t, 48> QtxModel::displayBytes() const {
    std::array<std::uint8_t, 48> bytes{};
    const std::string a = displayLine(0);
    const std::string b = displayLine(1);
    std::copy(a.begin(), a.end(), bytes.begin());
    std::copy(b.begin(), b.end(), bytes.begin() + kDisplayWidth);
    return bytes;
}

void QtxModel::show(std::string line1, std::string line2) {
    panel.line1 = fit(std::move(line1));
    panel.line2 = fit(std::move(line2));
}

void QtxModel::showHome(const std::string& note) {
    panel.homeNote = note;
    const ExposureSettings& s = panel.settings;
    std::string summary = "Exp " + seconds(s.exposureMs) + "s Bin" + std::to_string(s.binning) +
                          " x" + std::to_string(400 / s.egain100);
    show(fit("QTX  READY").substr(0, 16) + (remoteOn ? "REMOTE" : "LOCAL"),
         note.empty() ? summary : note);
}

std::string QtxModel::bufferSummary(int n) const {
    const ImageHeader& h = buffers[static_cast<std::size_t>(n)].header;
    if (h.height == 0) return "empty";
    std::string s = std::to_string(h.width) + "x" + std::to_string(h.height);
    if (h.flags & kFlagMosaic6) return s + " mosaic 6";
    if (h.flags & kFlagMosaic40) return s + " mosaic 40";
    if (h.numexposures > 1) return s + " sum of " + std::to_string(h.numexposures);
    return s + " single";
}

// Setup values: indexes into the lists for exposure and gain, the word itself otherwise.
std::int32_t QtxModel::setupValue(int param) const {
    const ExposureSettings& s = panel.settings;
    switch (param) {
        case kExposure:
            return exposureIndex(s.exposureMs);
        case kBinning:
            return s.binning;
        case kGain:
            return gainIndex(s.egain100);
        case kFocalLength:
            return s.focallength;
        case kAperture:
            return s.aperture;
        case kSite:
            return s.site;
        case kUnits:
            return s.inches ? 1 : 0;
        default:
            return s.sum;
    }
}

void QtxModel::setSetupValue(int param, std::int32_t v) {
    ExposureSettings& s = panel.settings;
    switch (param) {
        case kExposure:
            s.exposureMs = kExposuresMs[static_cast<std::size_t>(v)];
            break;
        case kBinning:
            s.binning = v;
            break;
        case kGain:
            s.egain100 = kGains[static_cast<std::size_t>(v)];
            break;
        case kFocalLength:
            s.focallength = static_cast<std::uint16_t>(v);
            break;
        case kAperture:
            s.aperture = static_cast<std::uint16_t>(v);
            break;
        case kSite:
            s.site = static_cast<std::uint16_t>(v);
            break;
        case kUnits:
            if ((v != 0) != s.inches) {
                // The optics keep their size: the numbers change with the unit.
                const double f = v != 0 ? 1 / 2.54 : 2.54;
                s.focallength = static_cast<std::uint16_t>(
                    std::clamp(std::lround(s.focallength * f), 100L, 65000L));
                s.aperture =
                    static_cast<std::uint16_t>(std::clamp(std::lround(s.aperture * f), 10L, 6500L));
                s.inches = v != 0;
            }
            break;
        default:
            s.sum = v;
            break;
    }
}

std::string QtxModel::setupText(int param, std::int32_t v) const {
    const std::string unit = panel.settings.inches ? " in" : " cm";
    switch (param) {
        case kExposure:
            return seconds(kExposuresMs[static_cast<std::size_t>(v)]) + " s";
        case kBinning:
            return std::to_string(v) + " x " + std::to_string(v);
        case kGain: {
            const std::uint16_t g = kGains[static_cast<std::size_t>(v)];
            return "x" + std::to_string(400 / g) + "  " + formatPattern(g / 100.0, "#0.00") +
                   " e-/ADU";
        }
        case kFocalLength:
            return formatPattern(v / 100.0, "###0.00") + unit;
        case kAperture:
            return formatPattern(v / 10.0, "###0.0") + unit;
        case kSite:
            return "Site " + std::to_string(v);
        case kUnits:
            return v != 0 ? "inches" : "centimetres";
        default:
            return std::to_string(v) + (v == 1 ? " exposure" : " exposures");
    }
}

void QtxModel::showSetup() {
    const std::int32_t v = panel.editing ? panel.edit : setupValue(panel.param);
    show(std::string("SETUP  ") + kParamNames[static_cast<std::size_t>(panel.param)],
         (panel.editing ? "> " : "  ") + setupText(panel.param, v));
}

void QtxModel::storeSetupEdit() {
    if (!panel.editing) return;
    setSetupValue(panel.param, panel.edit);
    panel.editing = false;
    showSetup();
    panel.line2 = fit("  " + setupText(panel.param, setupValue(panel.param)) + "  stored");
}

void QtxModel::showDisplayBuffer() {
    show("DISPLAY  buffer " + twoDigits(panel.displayBuffer), bufferSummary(panel.displayBuffer));
}

void QtxModel::showFileItem() {
    show("FILE OPS", std::string("> ") + kFileItems[static_cast<std::size_t>(panel.fileItem)]);
}

void QtxModel::measureFocus() {
    const double off = std::abs(panel.focuser - panel.bestFocus);
    const double fwhm = std::max(1.2, 1.8 + 0.045 * off + 0.05 * panelRng.normal());
    const double peak = std::clamp(
        42000.0 * (1.8 / fwhm) * (1.8 / fwhm) * (1 + 0.03 * panelRng.normal()), 0.0, 65535.0);
    show("FOCUS  pos " + std::to_string(panel.focuser),
         "Peak " + std::to_string(std::lround(peak)) + "  FWHM " + formatPattern(fwhm, "#0.00"));
}

void QtxModel::exposeScreen() {
    ExposureSettings s = panel.settings;
    s.sum = panel.tracking ? panel.settings.sum : 1;
    // The instrument's clock moves on by the exposures and their read-out.
    panel.clock.dayMs += static_cast<std::uint32_t>(s.sum) * (s.exposureMs + 1500);
    while (panel.clock.dayMs >= 86400000U) {
        panel.clock.dayMs -= 86400000U;
        panel.clock.day = panel.clock.day % 28 + 1;
    }
    ++panel.exposuresTaken;
    buffers[kScreenBuffer] =
        takeExposure(s, panel.clock, mixSeed(options.seed, 1000 + panel.exposuresTaken));
    show("IMAGE  " + seconds(s.exposureMs) + " s  bin " + std::to_string(s.binning),
         s.sum > 1 ? "Sum of " + std::to_string(s.sum) + " in buffer 31" : "Stored in buffer 31");
}

void QtxModel::arrowKey(std::uint16_t arrow, bool big) {
    const bool up = arrow == key::kUp || arrow == key::kRight;
    switch (panel.mode) {
        case Mode::Focus:
            if (arrow == key::kUp || arrow == key::kDown) {
                panel.focuser = std::clamp(panel.focuser + (up ? 1 : -1) * (big ? 10 : 1), 0, 999);
                measureFocus();
            }
            return;
        case Mode::Display:
            panel.displayBuffer =
                (panel.displayBuffer + (up ? 1 : -1) * (big ? 8 : 1) + kBufferCount) % kBufferCount;
            showDisplayBuffer();
            return;
        case Mode::FileOps: {
            const int items = static_cast<int>(kFileItems.size());
            panel.fileItem = (panel.fileItem + (up ? 1 : -1) + items) % items;
            showFileItem();
            return;
        }
        case Mode::Setup:
            if (arrow == key::kLeft || arrow == key::kRight) {
                panel.editing = false;
                panel.param = (panel.param + (up ? 1 : -1) + kParams) % kParams;
            } else {
                struct Step {
                    std::int32_t lo, hi, small, large;
                };
                static constexpr std::array<Step, kParams> steps{{
                    {0, static_cast<std::int32_t>(kExposuresMs.size()) - 1, 1, 3},
                    {1, 3, 1, 2},
                    {0, static_cast<std::int32_t>(kGains.size()) - 1, 1, 2},
                    {100, 65000, 100, 1000},
                    {10, 6500, 10, 100},
                    {0, 999, 1, 10},
                    {0, 1, 1, 1},
                    {1, 64, 1, 8},
                }};
                const Step& st = steps[static_cast<std::size_t>(panel.param)];
                const std::int32_t from = panel.editing ? panel.edit : setupValue(panel.param);
                std::int32_t to = from + (up ? 1 : -1) * (big ? st.large : st.small);
                if (panel.param == kUnits) to = 1 - from;
                panel.edit = std::clamp(to, st.lo, st.hi);
                panel.editing = true;
            }
            showSetup();
            return;
        default:
            return;  // the arrows do nothing here
    }
}

QtxModel::Outcome QtxModel::valueKey() {
    Outcome out;
    switch (panel.mode) {
        case Mode::Setup:
            storeSetupEdit();
            break;
        case Mode::Focus:
            measureFocus();
            break;
        case Mode::Calibrate:
            panel.calibrated = true;
            panel.angle = panelRng.between(-30, 30);
            show("CALIBRATE  done", "Angle " + formatPattern(panel.angle, "#0.0") + " deg");
            break;
        case Mode::Track:
            if (panel.tracking) {
                show("TRACK  guiding", "dX " + formatPattern(0.2 * panelRng.normal(), "#0.00") +
                                           "  dY " +
                                           formatPattern(0.2 * panelRng.normal(), "#0.00"));
            }
            break;
        case Mode::Display: {
            const int n = panel.displayBuffer;
            if (buffers[static_cast<std::size_t>(n)].empty()) {
                panel.line2 = fit("Buffer empty");
                break;
            }
            if (n != kScreenBuffer) buffers[kScreenBuffer] = buffers[static_cast<std::size_t>(n)];
            panel.line2 = fit("Shown on screen");
            out.offerImage = true;
            break;
        }
        case Mode::FileOps:
            switch (panel.fileItem) {
                case 0:
                    panel.line2 = fit("Offering all buffers");
                    out.offerFlash = true;
                    break;
                case 1:
                    if (buffers[kScreenBuffer].empty()) {
                        panel.line2 = fit("Screen empty");
                    } else {
                        panel.line2 = fit("Offering screen");
                        out.offerImage = true;
                    }
                    break;
                case 2:
                    buffers[kScreenBuffer] = ImageBuffer{};
                    panel.line2 = fit("Screen cleared");
                    break;
                default: {
                    char s[32];
                    std::snprintf(s, sizeof s, "Code CRC %04X", loader.runningCrc());
                    panel.line2 = fit(loader.code().empty() ? "Factory code" : s);
                    break;
                }
            }
            break;
        default:
            break;
    }
    return out;
}

QtxModel::Outcome QtxModel::applyKey(std::uint16_t code) {
    Outcome out;
    if (isArrow(code)) {
        arrowKey(code & 0xF000, (code & key::kTurbo) != 0);
        return out;
    }
    switch (code) {
        case 0:
        case key::kTurbo:
            panel.turbo = code == key::kTurbo;
            break;
        case key::kFocus:
            panel.mode = Mode::Focus;
            measureFocus();
            break;
        case key::kImage:
            panel.mode = Mode::Image;
            exposeScreen();
            out.offerImage = true;
            break;
        case key::kMonitor: {
            panel.mode = Mode::Monitor;
            const ImageBuffer& b = buffers[kScreenBuffer];
            if (b.empty()) {
                show("MONITOR  buffer 31", "Screen empty");
                break;
            }
            std::vector<std::uint16_t> sorted(b.pixels);
            std::nth_element(sorted.begin(), sorted.begin() + static_cast<long>(sorted.size() / 2),
                             sorted.end());
            const std::uint16_t sky = sorted[sorted.size() / 2];
            const std::uint16_t peak = *std::max_element(b.pixels.begin(), b.pixels.end());
            show("MONITOR  buffer 31",
                 "Sky " + std::to_string(sky) + "  Peak " + std::to_string(peak));
            break;
        }
        case key::kCalibrate: {
            panel.mode = Mode::Calibrate;
            panel.tracking = false;
            const ImageBuffer& b = buffers[kScreenBuffer];
            if (b.empty()) {
                show("CALIBRATE", "No star: take an image");
                break;
            }
            const auto at = std::max_element(b.pixels.begin(), b.pixels.end()) - b.pixels.begin();
            show("CALIBRATE", "Star " + std::to_string(at % b.header.width + 1) + "," +
                                  std::to_string(at / b.header.width + 1) + "  Value=go");
            break;
        }
        case key::kTrack:
            panel.mode = Mode::Track;
            if (!panel.calibrated) {
                show("TRACK", "Calibrate first");
                break;
            }
            panel.tracking = true;
            show("TRACK  guiding", "");
            valueKey();
            break;
        case key::kDisplay:
            panel.mode = Mode::Display;
            showDisplayBuffer();
            break;
        case key::kFileOps:
            panel.mode = Mode::FileOps;
            showFileItem();
            break;
        case key::kSetup:
            panel.mode = Mode::Setup;
            panel.editing = false;
            showSetup();
            break;
        case key::kParameter:
            if (panel.mode == Mode::Setup) panel.param = (panel.param + 1) % kParams;
            panel.mode = Mode::Setup;
            panel.editing = false;
            showSetup();
            break;
        case key::kValue:
            out = valueKey();
            break;
        case key::kInterrupt:
            panel.tracking = false;
            panel.editing = false;
            panel.mode = Mode::Home;
            showHome("Interrupted");
            break;
        default:
            break;  // not a key of this keypad: nothing happens
    }
    return out;
}

}  // namespace qtx::sim

// Opening, reopening and closing the serial port, and its speed.
#include <algorithm>

#include "console.hpp"

namespace qtx {

namespace {

constexpr std::int16_t kLongInterval = 256;
constexpr std::int16_t kShortInterval = 110;

// Establish Link always uses two stop bits; the baud menu one.
std::string linkSettings(std::int16_t baudindex) {
    if (baudindex < 1 || baudindex > 4) return {};
    return std::to_string(kBaudRates[static_cast<std::size_t>(baudindex)]) + ",N,8,2";
}

}  // namespace

void Console::Form_Load() {
    link = LinkState{};
    reception = Reception{};
    record = ImageRecord{};
    flat = FlatField{};
    panel = FrontPanel{};
    optics = Optics{};
    upload = Upload{};
    files = FileNaming{};
    track = TrackOffsets{};
    host.setTurboColour(Colour{255, 0, 0});  // Turbo starts off, and red
    startLink();
}

void Console::startLink() {
    link.portopen = false;
    link.baudindex = 1;
    link.settings = "115200,N,8,2";
    if (!host.openPort(1, link.settings)) {
        const std::string detail = host.portFailureDetail();
        setText(TextBox::PCtext, "Unable to open COM1" + (detail.empty() ? "" : crlf + detail));
        host.report(PortFailed{1, detail});
        return;
    }
    link.portopen = true;
    host.report(PortOpened{1, link.settings});
    link.longinterval = kLongInterval;
    link.shortinterval = kShortInterval;
    sendremotemode(1);
    setText(TextBox::PCtext, "Link not established!");
}

void Console::establishLink(int portNumber) {
    // The port is closed under it: an upload cannot go on.
    abandonUpload();
    if (link.portopen) {
        host.closePort();
        link.portopen = false;
    }
    link.rxcount = 0;
    if (const std::string settings = linkSettings(link.baudindex); !settings.empty()) {
        link.settings = settings;
    }
    if (!host.openPort(portNumber, link.settings)) {
        const std::string detail = host.portFailureDetail();
        setText(TextBox::PCtext, "COM" + std::to_string(portNumber) + " not available" +
                                     (detail.empty() ? "" : crlf + detail));
        host.report(PortFailed{portNumber, detail});
        return;
    }
    link.portopen = true;
    host.report(PortOpened{portNumber, link.settings});
    link.longinterval = kLongInterval;
    link.shortinterval = kShortInterval;
    link.linkup = false;
    showText(TextBox::PCtext, "Link not established");
    link.pendingop = PendingOp::Key;
    sendremotemode(1);
}

void Console::setBaud(std::int32_t speed) {
    const auto found = std::find(kBaudRates.begin() + 1, kBaudRates.end(), speed);
    if (found == kBaudRates.end()) return;  // only the four menu speeds exist
    const auto index = static_cast<std::int16_t>(found - kBaudRates.begin());
    link.settings = std::to_string(speed) + ",N,8,1";
    host.applySettings(link.settings);
    link.baudindex = index;
    link.longinterval = kLongInterval;
    link.shortinterval = static_cast<std::int16_t>(kShortInterval * 115200 / speed);
}

void Console::portLost(int portNumber, const std::string& device, const std::string& whenBack) {
    const std::string name = "COM" + std::to_string(portNumber);
    const std::string where = device == name ? name : name + " (" + device + ")";
    link.portopen = false;
    // Whatever was half received can never complete.
    link.rxcount = 0;
    link.headerok = false;
    // Repeats would write nothing and end in "Communication Failed", hiding the reason.
    host.stopTimer();
    host.hideProgress();
    showText(TextBox::PCtext,
             where + " was disconnected" + (whenBack.empty() ? "." : "; " + whenBack + "."));
    abandonUpload();
    host.report(PortLost{portNumber, device});
}

void Console::closeLink() {
    if (link.portopen) {
        sendremotemode(0);
        host.closePort();
        link.portopen = false;
        host.report(PortClosed{});
    }
    host.endProgram();
}

}  // namespace qtx

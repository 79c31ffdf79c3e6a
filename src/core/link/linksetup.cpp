// Opening, reopening and closing the serial port, and its speed.
#include <algorithm>

#include "console.hpp"
#include "link/link.hpp"
#include "text/crlf.hpp"

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

void Link::startLink() {
    state.portopen = false;
    state.baudindex = 1;
    state.settings = "115200,N,8,2";
    if (!host.openPort(1, state.settings)) {
        const std::string detail = host.portFailureDetail();
        setText(TextBox::PCtext, "Unable to open COM1" + (detail.empty() ? "" : crlf + detail));
        host.report(PortFailed{1, detail});
        return;
    }
    state.portopen = true;
    host.report(PortOpened{1, state.settings});
    state.longinterval = kLongInterval;
    state.shortinterval = kShortInterval;
    sendremotemode(1);
    setText(TextBox::PCtext, "Link not established!");
}

void Link::establishLink(int portNumber) {
    // The port is closed under it: an upload cannot go on.
    console.uploader.abandon();
    if (state.portopen) {
        host.closePort();
        state.portopen = false;
    }
    state.rxcount = 0;
    if (const std::string settings = linkSettings(state.baudindex); !settings.empty()) {
        state.settings = settings;
    }
    if (!host.openPort(portNumber, state.settings)) {
        const std::string detail = host.portFailureDetail();
        setText(TextBox::PCtext, "COM" + std::to_string(portNumber) + " not available" +
                                     (detail.empty() ? "" : crlf + detail));
        host.report(PortFailed{portNumber, detail});
        return;
    }
    state.portopen = true;
    host.report(PortOpened{portNumber, state.settings});
    state.longinterval = kLongInterval;
    state.shortinterval = kShortInterval;
    state.linkup = false;
    showText(TextBox::PCtext, "Link not established");
    state.pendingop = PendingOp::Key;
    sendremotemode(1);
}

void Link::setBaud(std::int32_t speed) {
    const auto found = std::find(kBaudRates.begin() + 1, kBaudRates.end(), speed);
    if (found == kBaudRates.end()) return;  // only the four menu speeds exist
    const auto index = static_cast<std::int16_t>(found - kBaudRates.begin());
    state.settings = std::to_string(speed) + ",N,8,1";
    host.applySettings(state.settings);
    state.baudindex = index;
    state.longinterval = kLongInterval;
    state.shortinterval = static_cast<std::int16_t>(kShortInterval * 115200 / speed);
}

void Link::portLost(int portNumber, const std::string& device, const std::string& whenBack) {
    const std::string name = "COM" + std::to_string(portNumber);
    const std::string where = device == name ? name : name + " (" + device + ")";
    state.portopen = false;
    // Whatever was half received can never complete.
    state.rxcount = 0;
    state.headerok = false;
    // Repeats would write nothing and end in "Communication Failed", hiding the reason.
    host.stopTimer();
    host.hideProgress();
    showText(TextBox::PCtext,
             where + " was disconnected" + (whenBack.empty() ? "." : "; " + whenBack + "."));
    console.uploader.abandon();
    host.report(PortLost{portNumber, device});
}

void Link::closeLink() {
    if (state.portopen) {
        sendremotemode(0);
        host.closePort();
        state.portopen = false;
        host.report(PortClosed{});
    }
    host.endProgram();
}

}  // namespace qtx

#include "link/port_list.hpp"

#include <algorithm>

#include "text/numtext.hpp"

namespace qtx {

namespace {

void field(std::string& text, const char* label, const std::string& value) {
    if (value.empty()) return;
    std::string head = "  " + std::string(label);
    head.resize(17, ' ');
    text += head + value + "\n";
}

}  // namespace

std::string portBlock(const PortEntry& port) {
    std::string text = port.device + "\n";
    for (const std::string& name : port.byId) field(text, "by-id", name);
    field(text, "description", port.description);
    field(text, "manufacturer", port.manufacturer);
    field(text, "serial number", port.serialNumber);
    field(text, "driver", port.driver);
    for (const std::string& line : port.advice) text += "  ! " + line + "\n";
    return text;
}

std::string portListText(std::span<const PortEntry> ports, std::span<const std::string> notes) {
    std::string text;
    for (const PortEntry& port : ports) {
        if (!text.empty()) text += "\n";
        text += portBlock(port);
    }
    if (ports.empty()) text = "No serial ports found.\n";
    for (const std::string& note : notes) text += "\n" + note + "\n";
    return text;
}

std::string portSummary(const PortEntry& port, int comPort) {
    std::string text = port.device;
    if (!port.description.empty()) text += " - " + port.description;
    if (comPort == 1 || comPort == 2) text += "  (COM" + formatPattern(comPort, "0") + ")";
    return text;
}

bool namesPort(const PortEntry& port, const std::string& path) {
    return !path.empty() && (path == port.device || std::find(port.byId.begin(), port.byId.end(),
                                                              path) != port.byId.end());
}

std::string rememberedName(const PortEntry& port) {
    return port.byId.empty() ? port.device : port.byId.front();
}

}  // namespace qtx

#include "port_listing.hpp"

#include <QSerialPortInfo>
#include <algorithm>

namespace qtx {

namespace {

std::string text(const QString& s) { return s.toLocal8Bit().toStdString(); }

// ttyS2 before ttyS10: the number at the end of a name counts as a number.
bool inOrder(const std::string& a, const std::string& b) {
    const auto split = [](const std::string& s) {
        const std::size_t cut = s.find_last_not_of("0123456789") + 1;
        return std::pair(s.substr(0, cut), s.size() - cut);
    };
    const auto [stemA, digitsA] = split(a);
    const auto [stemB, digitsB] = split(b);
    if (stemA != stemB) return stemA < stemB;
    if (digitsA != digitsB) return digitsA < digitsB;
    return a < b;
}

}  // namespace

PortListing listPorts(const SystemView& view) {
    PortListing listing;
    const auto names = byIdNames(view.root);
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        PortEntry entry;
        entry.device = text(info.systemLocation());
        if (const auto found = names.find(entry.device); found != names.end()) {
            entry.byId = found->second;
        }
        entry.description = text(info.description());
        entry.manufacturer = text(info.manufacturer());
        entry.serialNumber = text(info.serialNumber());
        const PortFacts facts = gatherPortFacts(entry.device, view);
        entry.driver = facts.driver;
        entry.advice = portAdvice(facts);
        listing.ports.push_back(std::move(entry));
    }
    std::sort(listing.ports.begin(), listing.ports.end(),
              [](const PortEntry& a, const PortEntry& b) { return inOrder(a.device, b.device); });
    listing.notes = machineNotes(runningDaemons(view.root));
    return listing;
}

}  // namespace qtx

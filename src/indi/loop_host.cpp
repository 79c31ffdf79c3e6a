#include "loop_host.hpp"

#include <libindi/indidevapi.h>

#include "console.hpp"

namespace qtx::indi {

namespace {

// A written request normally leaves at once; this bounds the wait for the last one (remote
// operation off) before the port closes.
constexpr int kDrainMs = 500;
// Receive events that find nothing, in a row, after which the device counts as gone: the
// loop would otherwise be woken for nothing over and over.
constexpr int kEmptyEventLimit = 50;

}  // namespace

LoopHost::LoopHost()
    : watchdog([this] {
          if (owner) owner->watchdogTick();
      }),
      oneShot([this] {
          if (owner) owner->oneShotElapsed();
      }),
      announce([this] {
          if (owner && !waiting.empty()) owner->onSerialEvent(SerialEvent::DataReceived);
      }) {}

LoopHost::~LoopHost() {
    unwatch();
    line->close(0);
}

void LoopHost::stopTimers() {
    watchdog.stop();
    oneShot.stop();
}

bool LoopHost::openPort(int portNumber, const std::string& settings) {
    closePort();
    failure.clear();
    if (portNumber != 1 || com1.empty()) {
        failure = "COM" + std::to_string(portNumber) + ": no device is assigned to this port.";
        return false;
    }
    if (const auto parsed = parseLineSettings(settings)) remembered = *parsed;
    line = isNetworkName(com1) ? static_cast<Line*>(&networkLine) : &serialLine;
    if (!line->open(com1, remembered)) {
        failure = line->failure();
        return false;
    }
    emptyEvents = 0;
    waiting.clear();
    watchId = IEAddCallback(line->descriptor(), &LoopHost::onReadable, this);
    // What a network server sent with its negotiation is told from the loop, as later data is.
    if (line->readInto(waiting) == Line::Read::Data) announce.start(0);
    return true;
}

void LoopHost::closePort() {
    unwatch();
    announce.stop();
    line->close(kDrainMs);
    waiting.clear();
}

void LoopHost::applySettings(const std::string& settings) {
    const auto parsed = parseLineSettings(settings);
    if (!parsed) return;
    remembered = *parsed;
    // An open line takes them at once; a closed one keeps them for its next opening.
    if (line->isOpen()) line->apply(remembered);
}

void LoopHost::write(std::span<const std::uint8_t> bytes) {
    if (line->isOpen() && !bytes.empty()) line->write(bytes);
}

std::vector<std::uint8_t> LoopHost::readAll() {
    if (line->isOpen() && line->readInto(waiting) == Line::Read::Gone && waiting.empty()) {
        // The loss is told from the loop, where the console is not in the middle of a step.
        return {};
    }
    std::vector<std::uint8_t> bytes;
    bytes.swap(waiting);
    return bytes;
}

void LoopHost::onReadable(int, void* self) {
    auto* host = static_cast<LoopHost*>(self);
    switch (host->line->readInto(host->waiting)) {
        case Line::Read::Gone:
            host->lose();
            return;
        case Line::Read::Nothing:
            if (++host->emptyEvents >= kEmptyEventLimit) host->lose();
            return;
        case Line::Read::Quiet:
            host->emptyEvents = 0;
            return;
        case Line::Read::Data:
            host->emptyEvents = 0;
            if (host->owner) host->owner->onSerialEvent(SerialEvent::DataReceived);
            return;
    }
}

void LoopHost::lose() {
    const std::string device = line->device();
    unwatch();
    announce.stop();
    line->close(0);
    waiting.clear();
    if (owner) owner->portLost(1, device, "connect again when it is back");
}

void LoopHost::unwatch() {
    if (watchId >= 0) IERmCallback(watchId);
    watchId = -1;
}

}  // namespace qtx::indi

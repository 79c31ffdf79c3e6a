#include "pty/usb_adapter.hpp"

#include <limits>

namespace qtx::sim {

void UsbAdapter::arrive(std::span<const std::uint8_t> bytes, Clock::time_point at) {
    if (bytes.empty()) return;
    held.insert(held.end(), bytes.begin(), bytes.end());
    lastArrival = at;
}

std::size_t UsbAdapter::roomInPacket() const {
    if (latency.count() <= 0) return std::numeric_limits<std::size_t>::max();
    return kPacketBytes - held.size() % kPacketBytes;
}

void UsbAdapter::release(Clock::time_point now, std::vector<std::uint8_t>& out) {
    const bool quiet = latency.count() <= 0 || now >= lastArrival + latency;
    const std::size_t due = quiet ? held.size() : held.size() / kPacketBytes * kPacketBytes;
    if (due == 0) return;
    out.insert(out.end(), held.begin(), held.begin() + static_cast<long>(due));
    held.erase(held.begin(), held.begin() + static_cast<long>(due));
}

std::optional<UsbAdapter::Clock::time_point> UsbAdapter::nextRelease() const {
    if (held.empty()) return std::nullopt;
    return lastArrival + latency;
}

}  // namespace qtx::sim

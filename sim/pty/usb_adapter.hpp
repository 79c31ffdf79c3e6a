// A USB serial adapter between the cable and the computer, as far as its timing goes. It
// hands on what comes off the cable in USB packets of 62 bytes, each as soon as it is full;
// a part-filled packet waits until the line has been quiet for the adapter's latency (FTDI
// adapters wait 16 ms unless told otherwise). So the tail of every reply reaches the
// computer that much late, and a request-and-reply exchange loses it once per reply.
//
// Time is handed in, so the packets can be checked without a clock.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace qtx::sim {

class UsbAdapter {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::size_t kPacketBytes = 62;

    // A latency of 0: no adapter, every byte is handed on as it comes off the cable.
    explicit UsbAdapter(std::chrono::milliseconds latency = {}) : latency(latency) {}

    // Bytes off the cable, the last of them at `at`.
    void arrive(std::span<const std::uint8_t> bytes, Clock::time_point at);
    // How many bytes fill the packet being gathered, so that the cable's pieces end where a
    // packet does.
    std::size_t roomInPacket() const;
    // Appends to `out` what reaches the computer by `now`.
    void release(Clock::time_point now, std::vector<std::uint8_t>& out);
    // When a part-filled packet goes, while one is held.
    std::optional<Clock::time_point> nextRelease() const;

  private:
    std::chrono::milliseconds latency;
    std::vector<std::uint8_t> held;
    Clock::time_point lastArrival;
};

}  // namespace qtx::sim

// The USB adapter of qtx-sim --holdback: which bytes reach the console when, on a clock of
// the test's own.
#ifdef QTX_SIM_PROGRAM

#include "pty/usb_adapter.hpp"

#include <gtest/gtest.h>

namespace qtx::sim::test {
namespace {

using namespace std::chrono_literals;

TEST(UsbAdapter, FullPacketsGoAtOnceTheTailWhenTheLineIsQuiet) {
    const std::vector<std::uint8_t> reply(100, 0x55);
    const UsbAdapter::Clock::time_point t0{};
    UsbAdapter adapter(16ms);
    std::vector<std::uint8_t> out;
    adapter.arrive(std::span(reply).first(40), t0 + 4ms);
    EXPECT_EQ(adapter.roomInPacket(), 22U);
    adapter.arrive(std::span(reply).subspan(40, 22), t0 + 6ms);
    adapter.release(t0 + 6ms, out);
    EXPECT_EQ(out.size(), 62U) << "the packet went as it filled";
    adapter.arrive(std::span(reply).subspan(62), t0 + 10ms);
    EXPECT_EQ(adapter.nextRelease(), t0 + 26ms);
    adapter.release(t0 + 25ms, out);
    EXPECT_EQ(out.size(), 62U) << "the tail waits for the latency";
    adapter.release(t0 + 26ms, out);
    EXPECT_EQ(out, reply);
    EXPECT_EQ(adapter.nextRelease(), std::nullopt);
}

}  // namespace
}  // namespace qtx::sim::test

#endif

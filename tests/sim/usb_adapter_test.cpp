// The USB adapter of qtx-sim --holdback: which bytes reach the console when, on a clock of
// the test's own.
#ifdef QTX_SIM_PROGRAM

#include "pty/usb_adapter.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace qtx::sim::test {
namespace {

using namespace std::chrono_literals;
using Clock = UsbAdapter::Clock;

TEST(UsbAdapter, FullPacketsGoAtOnceTheTailWhenTheLineIsQuiet) {
    const std::vector<std::uint8_t> reply(100, 0x55);
    const Clock::time_point t0{};
    UsbAdapter adapter(16ms);
    std::vector<std::uint8_t> out;

    EXPECT_EQ(adapter.roomInPacket(), 62U);
    adapter.arrive(std::span(reply).first(40), t0 + 4ms);
    EXPECT_EQ(adapter.roomInPacket(), 22U);
    adapter.release(t0 + 4ms, out);
    EXPECT_TRUE(out.empty());
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

    UsbAdapter none;  // a plain serial port: nothing is held
    none.arrive(std::span(reply).first(7), t0);
    EXPECT_GT(none.roomInPacket(), reply.size());
    out.clear();
    none.release(t0, out);
    EXPECT_EQ(out.size(), 7U);
}

}  // namespace
}  // namespace qtx::sim::test

#endif

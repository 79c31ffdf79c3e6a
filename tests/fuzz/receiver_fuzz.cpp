// Arbitrary bytes in arbitrary pieces through the receive state machine. The receiver must
// stay inside its buffer, and after every pass hold nothing or a frame start.
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    // The first byte chooses the state the bytes meet.
    const std::uint8_t mode = data[0];
    qtx::test::FuzzConsole f((mode & 1) != 0);
    f.console.link.linkup = (mode & 2) != 0;
    f.console.link.pendingop = static_cast<qtx::PendingOp>((mode >> 2) & 3);
    f.console.reception.headerpending = (mode & 16) != 0;
    for (std::size_t pos = 1; pos < size;) {
        // Each piece starts with its length; a zero length is a non-data event and a tick.
        const std::size_t length = data[pos++];
        if (length == 0) {
            f.console.onSerialEvent(qtx::SerialEvent::Other);
            f.console.watchdogTick();
        } else {
            const std::size_t take = std::min(length * 8, size - pos);
            f.arrive(std::span(data + pos, take));
            pos += take;
        }
        f.check();
    }
    return 0;
}

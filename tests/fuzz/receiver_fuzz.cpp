// Arbitrary bytes in arbitrary pieces through the receive state machine. The receiver must
// stay inside its buffer, and after every pass hold nothing or a frame start.
#include <array>

#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    // The first byte chooses the state the bytes meet: bit 0 autosave, bit 1 the link up,
    // bits 2-3 an upload waiting for its begin frame, a page or its end frame, bit 4 a header
    // asked for.
    const std::uint8_t mode = data[0];
    qtx::test::FuzzConsole f((mode & 1) != 0);
    if ((mode & 2) != 0) f.arrive(qtx::buildFrame(qtx::MSG_ACK, {}));
    if (const int upload = (mode >> 2) & 3; upload != 0)
        f.beginUpload(std::array{0, 0, 1, 193}[static_cast<std::size_t>(upload)]);
    if ((mode & 16) != 0) f.console.mnudownloadlight_Click();
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

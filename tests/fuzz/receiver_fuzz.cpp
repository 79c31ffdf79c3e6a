// Arbitrary bytes in arbitrary pieces through the receive state machine. The receiver must
// stay inside its buffer, and after every pass hold nothing or a frame start.
#include <cstdlib>

#include "console.hpp"
#include "link/frame.hpp"
#include "trap_host.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    qtx::test::TrapHost host;
    qtx::Console console(host);
    console.Form_Load();
    // The first byte chooses the state the bytes meet.
    const std::uint8_t mode = data[0];
    console.files.autosave = (mode & 1) != 0;
    console.files.autofilename = "/nonexistent-folder-of-the-fuzzer/img";  // saves fail fast
    console.link.linkup = (mode & 2) != 0;
    console.link.pendingop = static_cast<qtx::PendingOp>((mode >> 2) & 3);
    console.reception.headerpending = (mode & 16) != 0;
    std::size_t pos = 1;
    while (pos < size) {
        // Each piece starts with its length; a zero length is a non-data event or a tick.
        const std::size_t length = data[pos++];
        if (length == 0) {
            console.onSerialEvent(qtx::SerialEvent::Other);
            console.watchdogTick();
        } else {
            const std::size_t take = std::min(length * 8, size - pos);
            host.incoming.assign(data + pos, data + pos + take);
            pos += take;
            console.onSerialEvent(qtx::SerialEvent::DataReceived);
        }
        const int count = console.link.rxcount;
        if (count < 0 || count > static_cast<int>(qtx::kRxBufferSize)) std::abort();
        if (count > 0 && console.link.rxbuffer[0] != qtx::kSync) std::abort();
        host.forget();
    }
    return 0;
}

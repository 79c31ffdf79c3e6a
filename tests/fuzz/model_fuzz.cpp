// Arbitrary bytes from a console, in arbitrary pieces, into the simulated QTX: it must stay
// within its buffers and keep answering with whole frames.

#include "link/frame.hpp"
#include "model/qtx_model.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qtx::sim::QtxModel model;
    for (std::size_t pos = 0; pos < size;) {
        const std::size_t length = data[pos++];
        if (length == 0) model.lineIdle();  // a pause on the line
        if (length == 0) continue;
        const std::size_t take = std::min(length * 4, size - pos);
        model.receive(std::span(data + pos, take));
        pos += take;
        if (model.framesReceived() > 64) break;  // long uploads add nothing new
        if (model.holdsPartialFrame() && !model.hasOutput() && pos >= size) break;
        const std::vector<std::uint8_t> out = model.takeOutput();
        // Whatever it says is a sequence of well-formed frames.
        for (std::size_t at = 0; at < out.size();) {
            const std::span<const std::uint8_t> rest(out.data() + at, out.size() - at);
            if (!qtx::headerChecksumOk(rest)) __builtin_trap();
            const std::size_t n = qtx::payloadLength(rest);
            if (n > 0 && !qtx::payloadChecksumOk(rest)) __builtin_trap();
            at += n == 0 ? 6 : n + 8;
        }
    }
    return 0;
}

// Helpers for the simulator tests, written independently of the code under test.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/qtx_model.hpp"
#include "test_frames.hpp"

namespace qtx::sim::test {

using Bytes = std::vector<std::uint8_t>;
using namespace qtx::test;  // frame builders and golden frames

inline Bytes word(unsigned v) {
    return {static_cast<std::uint8_t>(v & 0xFF), static_cast<std::uint8_t>(v >> 8)};
}

inline Bytes keyFrame(unsigned code) { return frameOf(8, word(code)); }

inline Bytes rowRequest(std::uint8_t code, unsigned row, unsigned column, unsigned width,
                        unsigned buffer) {
    Bytes p = word(row);
    for (std::uint8_t b : word(column)) p.push_back(b);
    for (std::uint8_t b : word(width)) p.push_back(b);
    p.push_back(static_cast<std::uint8_t>(buffer));
    p.push_back(0);
    return frameOf(code, p);
}

struct Frame {
    std::uint8_t code = 0;
    Bytes payload;
    Bytes bytes;
};

// Splits well-formed output into frames; anything else ends the split (and the test sees
// fewer frames than it expects).
inline std::vector<Frame> splitFrames(const Bytes& out) {
    std::vector<Frame> frames;
    std::size_t at = 0;
    while (at + 6 <= out.size() && out[at] == 0xA5) {
        const std::size_t n = out[at + 2] | (out[at + 3] << 8);
        const std::size_t total = n == 0 ? 6 : n + 8;
        if (at + total > out.size()) break;
        Frame f;
        f.code = out[at + 1];
        f.bytes.assign(out.begin() + static_cast<long>(at),
                       out.begin() + static_cast<long>(at + total));
        if (n > 0) f.payload.assign(f.bytes.begin() + 6, f.bytes.end() - 2);
        frames.push_back(std::move(f));
        at += total;
    }
    return frames;
}

// Sends one request and returns the frames that answer it.
inline std::vector<Frame> ask(QtxModel& model, const Bytes& request) {
    model.receive(request);
    return splitFrames(model.takeOutput());
}

inline std::string payloadText(const Bytes& payload) {
    return std::string(payload.begin(), payload.end());
}

inline unsigned wordAt(const Bytes& b, std::size_t at) { return b[at] | (b[at + 1] << 8); }

}  // namespace qtx::sim::test

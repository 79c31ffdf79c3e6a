// Finds frames in a byte stream: the simulated QTX's receiver, and the traffic log's cutting
// of what passes the port into whole frames.
//
//   A5 | code | N lo N hi | hsum lo hsum hi | payload (N bytes) | psum lo psum hi
//                                             (no payload and no psum when N = 0)
//
// Bytes before a sync byte are skipped, a header whose checksum fails costs its sync byte
// only (a real frame may start inside it), a frame whose payload checksum fails is dropped
// whole. The reader never holds more than its capacity.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace qtx {

struct RxFrame {
    std::uint8_t code = 0;
    std::vector<std::uint8_t> payload;
    std::vector<std::uint8_t> bytes;  // the whole frame as received
};

class FrameReader {
  public:
    // Good frames, and bytes given up with the reason (for the log).
    using FrameSink = std::function<void(const RxFrame&)>;
    using DiscardSink = std::function<void(std::span<const std::uint8_t>, const std::string&)>;

    static constexpr std::size_t kCapacity = 1024;

    FrameReader(FrameSink onFrame, DiscardSink onDiscard);

    void push(std::span<const std::uint8_t> bytes);

    // Gives up a frame that stopped arriving (the line went quiet in the middle of it).
    void flushPartial();

    std::size_t held() const { return buffer.size(); }

  private:
    void drain();
    void discard(std::size_t count, const std::string& why);

    std::vector<std::uint8_t> buffer;
    FrameSink onFrame;
    DiscardSink onDiscard;
};

}  // namespace qtx

// Each direction of the line passes through a fault stage that numbers its frames and, when
// asked, damages them: drops, corrupts or delays frames, or puts garbage between them. The
// QTX's answers go through one on their way out, the console's requests through another on
// their way in. Every decision comes from the seed, so a fault run can be repeated exactly.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "model/rng.hpp"

namespace qtx::sim {

enum class CorruptWhere { Any, Header, Payload };

struct FaultPlan {
    std::uint64_t seed = 1;
    double drop = 0.0;     // fraction of frames not sent
    double corrupt = 0.0;  // fraction of frames sent with a failing checksum
    double delay = 0.0;    // fraction of frames held back by delayMs (or delayTicks)
    std::uint32_t delayMs = 0;
    // The same hold counted in watchdog ticks of the console, for a line run in-process
    // where the watchdog is the only clock.
    std::uint32_t delayTicks = 0;
    double garbage = 0.0;  // fraction of frames preceded by a few garbage bytes
    CorruptWhere corruptWhere = CorruptWhere::Any;
    std::set<std::uint32_t> dropFrames;     // numbers (from 1) of frames never sent
    std::set<std::uint32_t> corruptFrames;  // numbers (from 1) of frames sent damaged
    bool silent = false;                    // send nothing at all
};

// Bytes ready for the line; `delayMs` is how long they wait before they may start (and
// `delayTicks` the same in watchdog ticks). What follows them on the line waits behind them.
struct Emission {
    std::vector<std::uint8_t> bytes;
    std::uint32_t delayMs = 0;
    std::uint32_t delayTicks = 0;
};

// Cuts the console's byte stream into frames for a fault stage. It expects well-formed
// frames; bytes that do not start one go through untouched.
class FrameCutter {
  public:
    struct Piece {
        std::vector<std::uint8_t> bytes;
        bool frame = false;  // else bytes that start no frame
    };
    // Frames, and runs of bytes that are no frame, in line order.
    std::vector<Piece> push(std::span<const std::uint8_t> bytes);
    // A frame cut short by a quiet line goes on as it is.
    std::vector<std::uint8_t> flush();
    std::size_t held() const { return bytes.size(); }

  private:
    std::vector<std::uint8_t> bytes;
};

class OutputStage {
  public:
    // Every frame as it goes out (after any damage), with a note of what was done to it.
    using Observer =
        std::function<void(std::span<const std::uint8_t> bytes, const std::string& note)>;

    void setPlan(const FaultPlan& plan);
    const FaultPlan& plan() const { return faults; }
    void setObserver(Observer observer) { watch = std::move(observer); }

    void send(std::vector<std::uint8_t> frame);
    // Bytes that are no frame: passed on as they are, neither numbered nor damaged.
    void pass(std::vector<std::uint8_t> bytes);
    // What is queued from now until release() waits as a delayed frame does: the answers to
    // a request the QTX takes its time over.
    void hold(std::uint32_t ms, std::uint32_t ticks);
    void release() { holding = false; }

    std::vector<Emission> take();
    std::vector<std::uint8_t> takeBytes();  // delays ignored
    bool empty() const { return queue.empty(); }
    std::uint32_t framesSent() const { return count; }

  private:
    FaultPlan faults;
    Rng rng{1};
    Observer watch;
    std::uint32_t count = 0;
    std::vector<Emission> queue;
    bool holding = false;
    std::uint32_t holdMs = 0, holdTicks = 0;
};

}  // namespace qtx::sim

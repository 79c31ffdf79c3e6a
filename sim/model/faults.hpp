// What the QTX sends passes through one output stage that numbers its frames and, when
// asked, damages the line: drops, corrupts or delays frames, or puts garbage between them.
// Every decision comes from the seed, so a fault run can be repeated exactly.
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
    double delay = 0.0;    // fraction of frames held back by delayMs
    std::uint32_t delayMs = 0;
    double garbage = 0.0;  // fraction of frames preceded by a few garbage bytes
    CorruptWhere corruptWhere = CorruptWhere::Any;
    std::set<std::uint32_t> dropFrames;     // numbers (from 1) of frames never sent
    std::set<std::uint32_t> corruptFrames;  // numbers (from 1) of frames sent damaged
    bool silent = false;                    // send nothing at all
};

// Bytes ready for the line; `delayMs` is how long they wait before they may start.
struct Emission {
    std::vector<std::uint8_t> bytes;
    std::uint32_t delayMs = 0;
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
};

}  // namespace qtx::sim

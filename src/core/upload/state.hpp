// State of a firmware upload.
#pragma once

#include <cstdint>
#include <vector>

namespace qtx {

struct Upload {
    std::int32_t pagenumber = 0;
    std::vector<std::uint8_t> pagebuffer = std::vector<std::uint8_t>(515, 0);
    std::vector<std::uint8_t> codeimage;
    std::int32_t repeats = 0;  // frames of this upload sent again by the watchdog (progress)
    // Acknowledgements carry nothing to tell them apart: after a frame was sent more than
    // once, the acknowledgements of its other copies may still come and must not be taken
    // for the next frame's.
    std::int32_t copiessent = 0;  // copies of the frame awaiting its acknowledgement
    std::int32_t lateacks = 0;    // copies of frames acknowledged already, still unanswered
    // What the Host's one-shot timer is running for.
    enum class Wait { None, EndAnswer, Restart };
    Wait waiting = Wait::None;
};

}  // namespace qtx

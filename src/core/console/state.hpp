// State of the front panel, the firmware upload and the optics settings.
#pragma once

#include <cstdint>
#include <vector>

namespace qtx {

struct FrontPanel {
    bool turbo = false;
};

struct Upload {
    std::int32_t pagenumber = 0;
    std::vector<std::uint8_t> pagebuffer = std::vector<std::uint8_t>(515, 0);
    std::vector<std::uint8_t> codeimage;
    std::int32_t repeats = 0;  // frames of this upload sent again by the watchdog (progress)
    // What the Host's one-shot timer is running for.
    enum class Wait { None, EndAnswer, Restart };
    Wait waiting = Wait::None;
};

struct Optics {
    bool unitscm = false;       // lengths in centimetres, else inches
    bool apertureflag = false;  // area factor 0.7223644800000001, else 0.98
};

}  // namespace qtx

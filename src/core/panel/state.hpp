// State of the front panel.
#pragma once

namespace qtx {

struct FrontPanel {
    bool turbo = false;
};

}  // namespace qtx

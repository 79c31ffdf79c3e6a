// The sixteen keypad buttons. The console does not interpret keys: it sends the key's code
// and reports whether the QTX acknowledged it. Turbo adds bit 3 to the arrows.
#pragma once

#include <cstdint>

#include "panel/state.hpp"
#include "part.hpp"

namespace qtx {

class Panel : Part {
  public:
    Panel(Console& console, Host& host) : Part(console, host) {}

    void reset() { state = FrontPanel{}; }
    void pressKey(std::int32_t keycode, bool repaint = false);
    // An arrow key, with the Turbo bit when Turbo is on.
    void pressArrow(std::int32_t keycode);
    void cmdturbo_Click();

    const FrontPanel& view() const { return state; }

  private:
    FrontPanel state;
};

}  // namespace qtx

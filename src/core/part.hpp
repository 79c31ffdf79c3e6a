// What every part of the console has: the console that wires the parts together, the Host,
// and the two ways a part writes a text box.
#pragma once

#include <string>

#include "host.hpp"

namespace qtx {

class Console;

class Part {
  protected:
    Part(Console& console, Host& host) : console(console), host(host) {}
    Part(const Part&) = delete;
    Part& operator=(const Part&) = delete;
    ~Part() = default;

    void setText(TextBox box, const std::string& text) { host.setText(box, text, false); }
    // "Shown" texts are repainted at once, before the procedure goes on.
    void showText(TextBox box, const std::string& text) { host.setText(box, text, true); }

    Console& console;
    Host& host;
};

}  // namespace qtx

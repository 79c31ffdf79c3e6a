#include "console.hpp"

namespace qtx {

Console::Console(Host& host) : host(host) {}

void Console::setText(TextBox box, const std::string& text) { host.setText(box, text, false); }

// "Shown" texts are repainted at once, before the procedure goes on.
void Console::showText(TextBox box, const std::string& text) { host.setText(box, text, true); }

}  // namespace qtx

// Flat field correction (placeholder until it lands).
#include "console.hpp"

namespace qtx {

bool Console::loadflat() { return false; }
void Console::mnuflatfield_Click() {}

}  // namespace qtx

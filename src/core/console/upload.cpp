// Firmware upload (placeholder until the upload lands: an acknowledgement does nothing).
#include "console.hpp"

namespace qtx {

void Console::uploadstep() {}

}  // namespace qtx

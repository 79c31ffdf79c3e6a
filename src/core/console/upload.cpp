// Firmware upload (placeholder until the upload lands: an acknowledgement does nothing).
#include "console.hpp"

namespace qtx {

void Console::mnuUploadFile_Click() {}
void Console::buildpage() {}
void Console::uploadstep() {}
void Console::oneShotElapsed() {}

}  // namespace qtx

// Saving by hand and automatically, numbered file names (placeholder until it lands).
#include "console.hpp"

namespace qtx {

void Console::mnuCompSave_Click() {}
void Console::mnuautosave_Click() {}
void Console::writeimagefile() {}
void Console::writetracklist() {}
void Console::writemosaicdata() {}
void Console::mnuload_Click() {}
void Console::readtracklist() {}

}  // namespace qtx

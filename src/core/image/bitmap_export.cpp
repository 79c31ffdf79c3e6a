// Bitmap export (placeholder until it lands).
#include "console.hpp"

namespace qtx {

void Console::mnubitmap_Click() {}

}  // namespace qtx

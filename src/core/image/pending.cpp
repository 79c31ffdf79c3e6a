// Procedures whose subsystem parts have not landed yet; each is removed from here when its
// real definition arrives.
#include "console.hpp"

namespace qtx {

void Console::showimage() {}
void Console::mnucontrast_Click() {}
void Console::mnuautocontrast_Click() {}
void Console::decodeheader() {}
void Console::Picdata_MouseMove(int, int, double, double) {}
void Console::Form_MouseMove(int, int, double, double) {}
void Console::mnunote_Click() {}
void Console::mnufocallength_Click() {}
void Console::mnuaperturedia_Click() {}
void Console::mnuinches_Click() {}
void Console::mnucentimeters_Click() {}

}  // namespace qtx

// The sixteen keypad buttons. The console does not interpret keys: it sends the key's
// code and reports whether the QTX acknowledged it. Turbo adds bit 3 to the arrows.
#include "console.hpp"

namespace qtx {

namespace {

constexpr std::int32_t kTurboBit = 0x0008;

}  // namespace

void Console::pressKey(std::int32_t keycode, bool repaint) {
    sendkey(keycode);
    host.setText(TextBox::PCtext, "Keypress not acknowledged", repaint);
    abandonUpload();
    link.pendingop = PendingOp::Key;
}

void Console::cmdfocus_Click() { pressKey(0x0001); }
void Console::cmdimage_Click() { pressKey(0x0002); }
void Console::cmdmonitor_Click() { pressKey(0x0004); }
void Console::cmdcalibrate_Click() { pressKey(0x0100); }
void Console::cmdtrack_Click() { pressKey(0x0200); }
void Console::cmddisplay_Click() { pressKey(0x0400); }
void Console::cmdfileops_Click() { pressKey(0x0800); }
void Console::cmdvalue_Click() { pressKey(0x0040); }
void Console::cmdsetup_Click() { pressKey(0x0020); }

void Console::cmdparameter_Click() { pressKey(0x0010, true); }

void Console::cmddown_Click() { pressKey(0x1000 | (panel.turbo ? kTurboBit : 0)); }
void Console::cmdup_Click() { pressKey(0x2000 | (panel.turbo ? kTurboBit : 0)); }
void Console::cmdright_Click() { pressKey(0x4000 | (panel.turbo ? kTurboBit : 0)); }
void Console::cmdleft_Click() { pressKey(0x8000 | (panel.turbo ? kTurboBit : 0)); }

void Console::cmdturbo_Click() {
    if (!panel.turbo) {
        host.setTurboColour(Colour{0, 255, 0});
        sendkey(kTurboBit);
        panel.turbo = true;
    } else {
        host.setTurboColour(Colour{255, 0, 0});
        sendkey(0);
        panel.turbo = false;
    }
    setText(TextBox::PCtext, "Keypress not acknowledged");
    abandonUpload();
    link.pendingop = PendingOp::Key;
}

void Console::cmdinterrupt_Click() {
    pressKey(0x0080);
    // The image in transfer is completed; no further buffer is requested.
    mnuabort_Click();
}

}  // namespace qtx

#include "console.hpp"
#include "panel/panel.hpp"

namespace qtx {

namespace {

constexpr std::int32_t kTurboBit = 0x0008;

}  // namespace

void Panel::pressKey(std::int32_t keycode, bool repaint) {
    console.link.sendkey(keycode);
    host.setText(TextBox::PCtext, "Keypress not acknowledged", repaint);
    // A key takes the link over: an upload under way cannot go on.
    console.uploader.abandon();
    console.link.expect(PendingOp::Key);
}

void Panel::pressArrow(std::int32_t keycode) { pressKey(keycode | (state.turbo ? kTurboBit : 0)); }

void Panel::cmdturbo_Click() {
    if (!state.turbo) {
        host.setTurboColour(Colour{0, 255, 0});
        console.link.sendkey(kTurboBit);
        state.turbo = true;
    } else {
        host.setTurboColour(Colour{255, 0, 0});
        console.link.sendkey(0);
        state.turbo = false;
    }
    setText(TextBox::PCtext, "Keypress not acknowledged");
    console.uploader.abandon();
    console.link.expect(PendingOp::Key);
}

}  // namespace qtx

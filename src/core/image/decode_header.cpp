// `decodeheader`: the header block at the front of the receive buffer into the record, and
// the information panel (the decoding itself is image/header.cpp).
#include "console.hpp"
#include "image/header.hpp"

namespace qtx {

void Console::decodeheader() {
    const OpticsFlags flags = decodeHeaderBlock(link.frontPayload(), record);
    optics.unitscm = flags.unitscm;
    optics.apertureflag = flags.apertureflag;
    if (record.hdrheight == 0) return;
    loadedimage.reset();  // the facts are the QTX's from here on
    record.imagenote = "QTX Image";
    setText(TextBox::headertxt, headerPanelText(record, optics.unitscm));
}

}  // namespace qtx

// The Download menu, and the QTX's offer of its flash memory.
#include "console.hpp"
#include "link/frame.hpp"

namespace qtx {

void Console::mnudownloadlight_Click() {
    // The header request does not check the port itself; a user's command on a closed
    // port is refused like every other request the user starts.
    if (!link.portOpen()) {
        host.messageBox("No COM port is open to QTX");
        return;
    }
    download.fetchScreenImage();
}

void Console::mnuflashdownload_Click() {
    if (!files.chooseAutoBase()) return;
    files.startNumbering();
    // A closed port is refused with its message box; nothing is then awaited.
    if (!link.portOpen()) {
        link.sendcommand(CMD_DOWNLOAD_ALL);
        return;
    }
    download.requestBufferStatus();
}

void Download::onFlashOffer() {
    // Only images that are saved are fetched: without automatic saving the offer is declined.
    if (console.files.autosave()) {
        requestBufferStatus();
    } else {
        console.link.sendcommand(CMD_DECLINE);
    }
}

void Download::abort() {
    if (!state.downloadall) return host.report(NothingToAbort{});
    state.bufferpending.fill(false);
    state.downloadall = false;
}

}  // namespace qtx

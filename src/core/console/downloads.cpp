// The Download menu.
#include "console.hpp"
#include "link/frame.hpp"

namespace qtx {

void Console::mnudownloadlight_Click() {
    // The header request does not check the port itself; a user's command on a closed
    // port is refused like every other request the user starts.
    if (!link.portopen) {
        host.messageBox("No COM port is open to QTX");
        return;
    }
    fetchScreenImage();
}

void Console::mnuflashdownload_Click() {
    if (!chooseAutoBase()) return;
    files.autosave = true;
    files.filenumber = 1;
    // A closed port is refused with its message box; nothing is then awaited.
    if (!link.portopen) {
        sendcommand(CMD_DOWNLOAD_ALL);
        return;
    }
    requestBufferStatus();
}

void Console::mnuabort_Click() {
    if (!reception.downloadall) return host.report(NothingToAbort{});
    reception.bufferpending.fill(false);
    reception.downloadall = false;
}

}  // namespace qtx

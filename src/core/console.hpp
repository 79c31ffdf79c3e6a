// The console: the facade the front ends call, with the system's entry points, and the
// wiring of its parts. Each part owns its state; one object, one thread, driven by events.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "files/files.hpp"
#include "host.hpp"
#include "image/image_view.hpp"
#include "link/link.hpp"
#include "panel/panel.hpp"
#include "transfer/download.hpp"
#include "upload/uploader.hpp"

namespace qtx {

class Console {
  public:
    explicit Console(Host& host);
    // One console a window: it holds the Host by reference, and its state is the window's.
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    // Opening and closing of the window and the link.
    void Form_Load();
    void startLink() { link.startLink(); }
    void establishLink(int portNumber) { link.establishLink(portNumber); }
    void setBaud(std::int32_t speed) { link.setBaud(speed); }
    void closeLink() { link.closeLink(); }
    // The device behind COM`portNumber` went away under the open port (the shell has closed
    // the port already). `whenBack` is the shell's advice for when it is back ("" for none).
    void portLost(int portNumber, const std::string& device, const std::string& whenBack) {
        link.portLost(portNumber, device, whenBack);
    }

    // The port and the timers of the Host.
    void onSerialEvent(SerialEvent kind) { link.onSerialEvent(kind); }
    void watchdogTick() { link.watchdogTick(); }
    void watchdogRestart(int intervalMs) { link.watchdogRestart(intervalMs); }
    // The one-shot timer of the Host has run out.
    void oneShotElapsed() { uploader.oneShotElapsed(); }

    // Front panel.
    void cmdfocus_Click() { panel.pressKey(0x0001); }
    void cmdimage_Click() { panel.pressKey(0x0002); }
    void cmdmonitor_Click() { panel.pressKey(0x0004); }
    void cmdcalibrate_Click() { panel.pressKey(0x0100); }
    void cmdtrack_Click() { panel.pressKey(0x0200); }
    void cmddisplay_Click() { panel.pressKey(0x0400); }
    void cmdfileops_Click() { panel.pressKey(0x0800); }
    void cmdparameter_Click() { panel.pressKey(0x0010, true); }
    void cmdvalue_Click() { panel.pressKey(0x0040); }
    void cmdsetup_Click() { panel.pressKey(0x0020); }
    void cmddown_Click() { panel.pressArrow(0x1000); }
    void cmdup_Click() { panel.pressArrow(0x2000); }
    void cmdright_Click() { panel.pressArrow(0x4000); }
    void cmdleft_Click() { panel.pressArrow(0x8000); }
    void cmdturbo_Click() { panel.cmdturbo_Click(); }
    void cmdinterrupt_Click();

    // Firmware upload.
    void mnuUploadFile_Click() { uploader.mnuUploadFile_Click(); }

    // Download menu.
    void mnudownloadlight_Click();
    void mnuflashdownload_Click();
    void mnuabort_Click() { download.abort(); }

    // Edit Data menu.
    void mnunote_Click() { picture.mnunote_Click(); }
    void mnufocallength_Click() { picture.mnufocallength_Click(); }
    void mnuaperturedia_Click() { picture.mnuaperturedia_Click(); }
    void mnuinches_Click() { picture.mnuinches_Click(); }
    void mnucentimeters_Click() { picture.mnucentimeters_Click(); }

    // The picture and its read-outs.
    void showimage() { picture.showimage(); }
    void mnucontrast_Click() { picture.mnucontrast_Click(); }
    void mnuautocontrast_Click() { picture.mnuautocontrast_Click(); }
    void Picdata_MouseMove(int /*button*/, int /*shift*/, double x, double y) {
        picture.Picdata_MouseMove(x, y);
    }
    void Form_MouseMove(int /*button*/, int /*shift*/, double /*x*/, double /*y*/) {
        host.setPointer(Pointer::Default);
    }
    void mnubitmap_Click() { picture.mnubitmap_Click(); }
    void mnufits_Click() { picture.mnufits_Click(); }
    // The image alone as a PNG (no menu entry of the window).
    void exportPng() { picture.exportPng(); }
    void mnuflatfield_Click() { picture.mnuflatfield_Click(); }

    // Image files.
    void mnuCompSave_Click() { files.mnuCompSave_Click(); }
    void mnuautosave_Click() { files.mnuautosave_Click(); }
    void mnuload_Click() { files.mnuload_Click(); }

    // What a front end or a test may read; only the console's own parts change it.
    const LinkState& linkState() const { return link.view(); }
    const Reception& transfer() const { return download.view(); }
    const ImageRecord& image() const { return picture.image(); }
    const FlatField& flatField() const { return picture.flatField(); }
    const FrontPanel& frontPanel() const { return panel.view(); }
    const Upload& uploadState() const { return uploader.view(); }
    const Optics& opticsSettings() const { return picture.opticsSettings(); }
    const FileNaming& fileNaming() const { return files.view(); }
    const TrackOffsets& trackOffsets() const { return picture.trackOffsets(); }
    const std::optional<LoadedImage>& loadedImage() const { return files.loadedImage(); }

  private:
    // The parts reach one another through the console.
    friend class Link;
    friend class Download;
    friend class Uploader;
    friend class Files;
    friend class ImageView;
    friend class Panel;

    // After a frame that answered nothing outstanding, the watchdog goes on guarding whatever
    // still awaits its answer, and nothing else.
    void resumeWatchdog();

    Host& host;
    Link link;
    Download download;
    Uploader uploader;
    Files files;
    ImageView picture;
    Panel panel;
};

}  // namespace qtx

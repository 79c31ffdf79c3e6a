// The console: every field of the main window and every procedure that works on them.
// One object, one thread, driven by events; the member functions are defined in one source
// file per subsystem part (link/, console/, image/, files/).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "console/state.hpp"
#include "files/kelm.hpp"
#include "files/state.hpp"
#include "host.hpp"
#include "image/state.hpp"
#include "link/state.hpp"
#include "text/crlf.hpp"

namespace qtx {

class Console {
  public:
    explicit Console(Host& host);
    // One console a window: it holds the Host by reference, and its state is the window's.
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    // Opening and closing of the window and the link (link/linksetup.cpp).
    void Form_Load();
    void startLink();
    void establishLink(int portNumber);
    void setBaud(std::int32_t speed);
    void closeLink();
    // The device behind COM`portNumber` went away under the open port (the shell has closed
    // the port already). `whenBack` is the shell's advice for when it is back ("" for none).
    void portLost(int portNumber, const std::string& device, const std::string& whenBack);

    // Receiving (link/receiver.cpp).
    void onSerialEvent(SerialEvent kind);
    void removeFront(int count);

    // The watchdog `entrytimer` (link/watchdog.cpp).
    void watchdogTick();
    void watchdogRestart(int intervalMs);

    // Image transfer (link/reception.cpp).
    void onBufferStatus();
    void onHeader(bool checksumGood);
    void onRow(bool checksumGood);

    // Requests to the QTX (console/requests.cpp).
    void sendkey(std::int32_t keycode);
    void sendcommand(std::int16_t code);
    void requestheader(std::int16_t buffer);
    void requestrow(std::int16_t buffer);
    void sendremotemode(std::int16_t flag);
    void sendsavereport(std::int16_t flag);
    void sendlinkconfirm();
    void sendframe(std::uint8_t code, std::span<const std::uint8_t> payload, std::uint16_t length);

    // Front panel (console/frontpanel.cpp).
    void cmdfocus_Click();
    void cmdimage_Click();
    void cmdmonitor_Click();
    void cmdcalibrate_Click();
    void cmdtrack_Click();
    void cmddisplay_Click();
    void cmdfileops_Click();
    void cmdparameter_Click();
    void cmdvalue_Click();
    void cmddown_Click();
    void cmdup_Click();
    void cmdright_Click();
    void cmdleft_Click();
    void cmdturbo_Click();
    void cmdsetup_Click();
    void cmdinterrupt_Click();

    // Firmware upload (console/upload.cpp).
    void mnuUploadFile_Click();
    void buildpage();
    void uploadstep();
    // The one-shot timer of the Host has run out.
    void oneShotElapsed();

    // Download menu (console/downloads.cpp).
    void mnudownloadlight_Click();
    void mnuflashdownload_Click();
    void mnuabort_Click();

    // Edit Data menu (console/optics.cpp).
    void mnunote_Click();
    void mnufocallength_Click();
    void mnuaperturedia_Click();
    void mnuinches_Click();
    void mnucentimeters_Click();

    // The picture and its read-outs (image/).
    void showimage();
    void mnucontrast_Click();
    void mnuautocontrast_Click();
    void decodeheader();
    void Picdata_MouseMove(int button, int shift, double x, double y);
    void Form_MouseMove(int button, int shift, double x, double y);
    void mnubitmap_Click();         // image/bitmap_export.cpp
    void mnufits_Click();           // image/fits_export.cpp
    void mnuflatfield_Click();      // image/flatfield.cpp
    bool loadflat(FlatFile& file);  // false: the flat-field command stops

    // Image files (files/).
    void filedialog();  // kind and filter from dialogopen, bmpfilter, binfilter
    void mnuCompSave_Click();
    void mnuautosave_Click();
    bool writeimagefile();  // false: the image was not written
    void writetracklist();
    void writemosaicdata();
    void mnuload_Click();
    void readtracklist();

    // What a front end or a test may read; only the console's own procedures change it.
    const LinkState& linkState() const { return link; }
    const Reception& transfer() const { return reception; }
    const ImageRecord& image() const { return record; }
    const FlatField& flatField() const { return flat; }
    const FrontPanel& frontPanel() const { return panel; }
    const Upload& uploadState() const { return upload; }
    const Optics& opticsSettings() const { return optics; }
    const FileNaming& fileNaming() const { return files; }
    const TrackOffsets& trackOffsets() const { return track; }
    const std::optional<LoadedImage>& loadedImage() const { return loadedimage; }

    // Still public while the suites that set them directly are rewritten to drive the
    // console through its entry points; front ends read the accessors above.
    // Fields of the window, grouped by the subsystem that owns them.
    LinkState link;
    Reception reception;
    ImageRecord record;
    FlatField flat;
    FrontPanel panel;
    Upload upload;
    Optics optics;
    FileNaming files;
    TrackOffsets track;
    // The files the current image was loaded from; empty for an image received from the
    // QTX. Saving writes them back; the FITS export takes from them what the load does not
    // apply.
    std::optional<LoadedImage> loadedimage;

  private:
    void processFrames();
    void processPass();
    void resynchronise();
    void dispatchFrame();
    void pressKey(std::int32_t keycode, bool repaint = false);
    void writeFrame(bool checksPort);
    void showText(TextBox box, const std::string& text);
    void setText(TextBox box, const std::string& text);
    void reportProgress();
    // The firmware upload's resend interval, its progress, and its end when something else
    // takes the link over (console/upload.cpp).
    int uploadInterval() const;
    void reportUploadProgress();
    void abandonUpload();
    bool autosaveReceivedImage();  // true: the image file was written
    void nextBufferOrEnd();
    void fetchScreenImage();
    void fetchHeader();
    void sendWaitingHeaderRequest();
    void requestBufferStatus();
    void sendBufferStatusRequest();
    void onBufferStatusFrame(bool good);
    void endFailedDownloadAll();
    // What a watchdog tick does for the exchange that waits (patience over: late answers
    // count as lost), and the end of a transfer that got no answer.
    void transferTick(bool patienceOver);
    void transferGivenUp();
    void uploadTick(bool patienceOver);
    void requestNextRow();
    void sendNextUploadFrame();
    bool awaitingReply() const;
    void resumeWatchdog();
    bool saveImageFiles();  // true: the image file was written
    bool chooseAutoBase();  // false: no path chosen
    bool writeCompanion(const std::string& extension, const std::string& text);
    void refuseSave(const std::string& text, const FileRefused& refused);
    struct ExportRequest {
        FileKind kind;
        std::string extension;     // of the derived name
        std::string existsText;    // the message box for an existing file
        std::string notSavedText;  // the status text before "PATH: reason"
        std::function<std::string(std::vector<std::uint8_t>&)> encode;  // "" or why not
    };
    void exportFile(const ExportRequest& request);

    Host& host;
    bool stopReceiving = false;  // set by a step that ends the whole receive event
};

}  // namespace qtx

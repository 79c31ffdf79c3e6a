// `qtx download`: Establish Link on the given device, then "Download Screen Image" and "Save
// QTX Frame", or "Download All" into numbered files, exactly as the window runs them. What
// happened is read from the console's events: an image counts as written when its file and
// every companion file (track list, mosaic table) were written.
#include "commands.hpp"
#include "linked_run.hpp"

namespace qtx::cli {

namespace {

class Download : public LinkedRun {
  public:
    Download(LinkOptions link, bool all, std::string path)
        : LinkedRun(std::move(link)), all(all), path(std::move(path)) {}

  private:
    void begin() override {
        host.answerFileDialogs(path);
        if (all) {
            console.mnuflashdownload_Click();
        } else {
            console.mnudownloadlight_Click();
        }
    }

    // A refusal while fetching leaves nothing more to wait for.
    void messageShown(const std::string&) override {
        if (!saving) later([this] { finish(kExitFailed); });
    }

    void reported(const Event& event) override {
        if (const auto* written = std::get_if<FileWritten>(&event)) {
            imageWritten = imageWritten || written->kind == FileKind::Image;
        } else if (std::holds_alternative<FileRefused>(event)) {
            fileRefused = true;
        } else if (std::holds_alternative<ImageReceived>(event)) {
            if (all) {
                countImage();
            } else {
                later([this] { saveScreenImage(); });
            }
        } else if (const auto* ended = std::get_if<DownloadAllEnded>(&event)) {
            const bool empty = ended->end == DownloadAllEnded::End::Empty;
            later([this, empty] { empty ? finish(kExitFailed) : summarise(); });
        } else if (std::holds_alternative<CommunicationFailed>(event)) {
            later([this] { finish(kExitFailed); });
        }
    }

    void countImage() {
        ++images;
        if (imageWritten && !fileRefused) ++written;
        imageWritten = fileRefused = false;
    }

    void saveScreenImage() {
        if (!running() || saving) return;
        saving = true;
        console.mnuCompSave_Click();
        countImage();
        summarise();
    }

    void summarise() {
        const std::string counted = number(images) + (images == 1 ? " image" : " images");
        if (images > 0 && written == images) {
            finish(kExitOk, "qtx: " + counted + " written");
        } else {
            finish(kExitFailed, "qtx: " + number(written) + " of " + counted + " written");
        }
    }

    bool all;
    std::string path;
    bool saving = false;  // the transfer is over; what is said now is about the files
    int images = 0, written = 0;
    bool imageWritten = false, fileRefused = false;  // of the image whose files come now
};

}  // namespace

int runDownload(const DownloadArgs& args) {
    Download download(args.link, args.all, args.path);
    return download.exec();
}

}  // namespace qtx::cli

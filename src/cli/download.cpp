// `qtx download`: Establish Link on the given device, then "Download Screen Image" and "Save
// QTX Frame", or "Download All" into numbered files, exactly as the window runs them.
#include "commands.hpp"
#include "link/frame.hpp"
#include "linked_run.hpp"
#include "save_tally.hpp"

namespace qtx::cli {

namespace {

// What the console says when an exchange can go no further.
const std::string kCommunicationFailed = "Communication Failed";
const std::string kBuffersEmpty = "QTX data buffers are empty";

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

    void statusText(const std::string& text) override {
        if (!saving && (text == kCommunicationFailed || text == kBuffersEmpty)) {
            later([this] { finish(kExitFailed); });
        }
    }

    // A refusal while fetching leaves nothing more to wait for.
    void messageShown(const std::string&) override {
        if (!saving) later([this] { finish(kExitFailed); });
    }

    void frameSent(std::span<const std::uint8_t> frame) override {
        tally.sent(frame);
        if (running() && frame.size() >= kHeaderSize && frame[1] == CMD_DOWNLOAD_END) {
            later([this] { transferEnded(); });
        }
    }

    void transferEnded() {
        if (!running() || saving) return;
        saving = true;
        if (!all) console.mnuCompSave_Click();
        const std::string images =
            number(tally.images()) + (tally.images() == 1 ? " image" : " images");
        if (tally.allWritten()) {
            finish(kExitOk, "qtx: " + images + " written");
        } else {
            finish(kExitFailed, "qtx: " + number(tally.written()) + " of " + images + " written");
        }
    }

    bool all;
    std::string path;
    SaveTally tally;
    bool saving = false;  // the transfer is over; what is said now is about the files
};

}  // namespace

int runDownload(const DownloadArgs& args) {
    Download download(args.link, args.all, args.path);
    return download.exec();
}

}  // namespace qtx::cli

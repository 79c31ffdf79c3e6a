// `qtx upload`: Establish Link on the given device, then "Upload QTX Code" with the file, as
// the window runs it: the console checks the file, sends it page by page and resends what
// was not acknowledged.
#include "commands.hpp"
#include "link/frame.hpp"
#include "linked_run.hpp"

namespace qtx::cli {

namespace {

const std::string kUploaded = "Code succesfully uploaded - QTX restarting";
const std::string kCommunicationFailed = "Communication Failed";

class Upload : public LinkedRun {
  public:
    Upload(LinkOptions link, std::string path)
        : LinkedRun(std::move(link)), path(std::move(path)) {}

  private:
    void begin() override {
        host.answerFileDialogs(path);
        console.mnuUploadFile_Click();
    }

    void statusText(const std::string& text) override {
        if (text == kUploaded) {
            // The console puts the restarted QTX back under remote operation on its own timer;
            // the QTX has nothing to say until then.
            uploaded = true;
            stopSilenceTimer();
        } else if (text == kCommunicationFailed) {
            later([this] { finish(kExitFailed); });
        }
    }

    // The page being sent and its retries: a line per frame would bury everything else.
    bool isProgressText(const std::string& text) const override {
        return text.starts_with(" PageNumber = ");
    }

    // A refused file, or an upload abandoned: nothing more will come.
    void messageShown(const std::string&) override {
        later([this] { finish(kExitFailed); });
    }

    void frameSent(std::span<const std::uint8_t> frame) override {
        if (uploaded && frame.size() > kHeaderSize && frame[1] == CMD_REMOTE &&
            frame[kHeaderSize] == 1) {
            later([this] { finish(kExitOk, "qtx: code uploaded"); });
        }
    }

    std::string path;
    bool uploaded = false;
};

}  // namespace

int runUpload(const UploadArgs& args) {
    Upload upload(args.link, args.file);
    return upload.exec();
}

}  // namespace qtx::cli

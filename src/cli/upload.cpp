// `qtx upload`: Establish Link on the given device, then "Upload QTX Code" with the file, as
// the window runs it: the console checks the file, sends it page by page and resends what
// was not acknowledged.
#include "commands.hpp"
#include "linked_run.hpp"

namespace qtx::cli {

namespace {

class Upload : public LinkedRun {
  public:
    Upload(LinkOptions link, std::string path)
        : LinkedRun(std::move(link)), path(std::move(path)) {}

  private:
    void begin() override {
        host.answerFileDialogs(path);
        console.mnuUploadFile_Click();
    }

    void reported(const Event& event) override {
        if (const auto* ended = std::get_if<UploadEnded>(&event); ended && ended->success) {
            // The console has put the restarted QTX back under remote operation.
            later([this] { finish(kExitOk, "qtx: code uploaded"); });
        } else if (std::holds_alternative<CommunicationFailed>(event)) {
            later([this] { finish(kExitFailed); });
        }
    }

    // A refused file, or an upload abandoned: nothing more will come.
    void messageShown(const std::string&) override {
        later([this] { finish(kExitFailed); });
    }

    std::string path;
};

}  // namespace

int runUpload(const UploadArgs& args) {
    Upload upload(args.link, args.file);
    return upload.exec();
}

}  // namespace qtx::cli

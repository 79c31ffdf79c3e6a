// `qtx info`: "Load QTX Frame from Disk" for each file, printing the information text the
// console puts beside the picture.
#include <cstdio>
#include <optional>
#include <vector>

#include "cli_host.hpp"
#include "commands.hpp"
#include "console.hpp"
#include "file_run.hpp"

namespace qtx::cli {

namespace {

class Load : public HostListener {
  public:
    explicit Load(const std::string& path) : path(path), host(PortMap{}, *this) {
        connectConsole(host, console, &host);
    }

    // The information text, one line each, when the file was read.
    std::optional<std::string> run() {
        host.answerFileDialogs(path);
        console.mnuload_Click();
        // A refused file: the status line says what was wrong with it (the message only that
        // it failed); after a good load it holds nothing worth printing.
        if (refused) {
            for (const std::string& line : status) say(line);
        }
        for (const std::string& text : messages) say(path + ": " + text);
        if (refused) return std::nullopt;
        if (!headerText) {
            std::fprintf(stderr, "qtx: %s: nothing was read\n", path.c_str());
            return std::nullopt;
        }
        std::string lines = plainLines(*headerText);
        if (!lines.empty() && lines.back() != '\n') lines += '\n';
        return lines;
    }

    void text(TextBox box, const std::string& text) override {
        if (box == TextBox::headertxt) headerText = text;
        if (box == TextBox::PCtext) status.push_back(text);
    }
    void message(const std::string& text) override { messages.push_back(text); }
    void event(const Event& event) override {
        const auto* read = std::get_if<FileRead>(&event);
        if (read && read->kind == FileKind::Image && !read->ok) refused = true;
    }

  private:
    const std::string& path;
    CliHost host;
    Console console{host};
    std::optional<std::string> headerText;
    static void say(const std::string& text) {
        std::fprintf(stderr, "%s\n", plainLines(text).c_str());
        std::fflush(stderr);
    }

    std::vector<std::string> status;    // PCtext, in order
    std::vector<std::string> messages;  // message boxes, in order
    bool refused = false;
};

}  // namespace

int runInfo(const InfoArgs& args) {
    int status = kExitOk;
    bool first = true;
    for (const std::string& path : args.files) {
        // Each file on a console of its own, so that nothing of one file's header carries
        // over into the next.
        Load load(path);
        const auto lines = load.run();
        if (!lines) {
            status = kExitFailed;
            continue;
        }
        // Files are set apart by a blank line; each starts with its own path.
        if (!first) std::fputc('\n', stdout);
        first = false;
        std::fputs(lines->c_str(), stdout);
        std::fflush(stdout);
    }
    return status;
}

}  // namespace qtx::cli

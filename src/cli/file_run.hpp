// The console without a port, for the commands that work on files: its menu procedures run
// one after another with the command's paths answered in their dialogs, everything the console
// shows goes to standard error, and each step tells what was said during it.
#pragma once

#include <string>
#include <vector>

#include "cli_host.hpp"
#include "console.hpp"

namespace qtx::cli {

class FileRun : public HostListener {
  public:
    FileRun();

    struct Said {
        std::vector<std::string> status;    // PCtext, in order
        std::vector<std::string> messages;  // message boxes, in order
        bool header = false;                // the information text was set
        std::vector<Event> events;          // what happened, in order

        template <class T>
        bool has(bool (*matches)(const T&) = nullptr) const {
            for (const Event& e : events)
                if (const T* t = std::get_if<T>(&e); t && (!matches || matches(*t))) return true;
            return false;
        }
    };

    // Runs `procedure` with `path` answered in every dialog it opens.
    Said step(void (Console::*procedure)(), const std::string& path);

    // "Load QTX Frame from Disk": whether the image was read. A summed image whose track list
    // is missing or does not match was read all the same, but counts only when `needsTracks`
    // is false.
    bool load(const std::string& path, bool needsTracks);

    // The image the console holds now.
    const ImageRecord& record() const { return console.image(); }

    void text(TextBox box, const std::string& text) override;
    void message(const std::string& text) override;
    void event(const Event& event) override { said.events.push_back(event); }

    // qtx's own closing line.
    static void summary(const std::string& text);

  private:
    CliHost host;
    Console console{host};
    Said said;
    std::string lastText;
};

}  // namespace qtx::cli

#include "file_run.hpp"

#include <algorithm>
#include <cstdio>

namespace qtx::cli {

namespace {

void say(const std::string& text) {
    std::fprintf(stderr, "%s\n", plainLines(text).c_str());
    std::fflush(stderr);
}

}  // namespace

bool isTrackListWarning(const std::string& text) {
    return text == "Track File does not match image!" ||
           text == "No track file found for this track and accumulate image!";
}

FileRun::FileRun() : host(PortMap{}, *this) { connectConsole(host, console, &host); }

FileRun::Said FileRun::step(void (Console::*procedure)(), const std::string& path) {
    said = {};
    host.answerFileDialogs(path);
    (console.*procedure)();
    return std::move(said);
}

bool FileRun::load(const std::string& path, bool needsTracks) {
    const Said loaded = step(&Console::mnuload_Click, path);
    return loaded.header &&
           std::all_of(loaded.messages.begin(), loaded.messages.end(),
                       [&](const std::string& m) { return !needsTracks && isTrackListWarning(m); });
}

void FileRun::text(TextBox box, const std::string& text) {
    if (box == TextBox::headertxt) said.header = true;
    if (box != TextBox::PCtext) return;
    said.status.push_back(text);
    if (text != lastText) say(text);
    lastText = text;
}

void FileRun::message(const std::string& text) {
    said.messages.push_back(text);
    say(text);
    lastText.clear();
}

void FileRun::summary(const std::string& text) { say("qtx: " + text); }

}  // namespace qtx::cli

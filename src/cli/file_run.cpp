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

FileRun::FileRun() : host(PortMap{}, *this) { connectConsole(host, console, &host); }

FileRun::Said FileRun::step(void (Console::*procedure)(), const std::string& path) {
    said = {};
    host.answerFileDialogs(path);
    (console.*procedure)();
    return std::move(said);
}

bool FileRun::load(const std::string& path, bool needsTracks) {
    const Said loaded = step(&Console::mnuload_Click, path);
    const bool read =
        loaded.has<FileRead>([](const FileRead& r) { return r.kind == FileKind::Image && r.ok; });
    const bool badTracks = loaded.has<FileRead>(
        [](const FileRead& r) { return r.kind == FileKind::TrackList && !r.ok; });
    return read && !(needsTracks && badTracks);
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

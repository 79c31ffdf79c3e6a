// `qtx flat`: "Load QTX Frame from Disk" for the image, "Flat Field" with the flat frame,
// then "Save QTX Frame", as the window runs them.
#include <algorithm>
#include <filesystem>

#include "commands.hpp"
#include "file_run.hpp"
#include "files/disk.hpp"
#include "files/kelm.hpp"
#include "text/numtext.hpp"

namespace qtx::cli {

namespace {

bool corrected(const FileRun::Said& said) { return said.has<FlatFieldApplied>(); }

// Every file of the image written: the image, and its track list when it has one.
bool saved(const FileRun::Said& said) {
    return said.messages.empty() && !said.has<FileRefused>() &&
           said.has<FileWritten>([](const FileWritten& w) { return w.kind == FileKind::Image; });
}

// What stands in the way before anything is computed: an input that cannot be read, a flat
// frame without a usable header, an output that exists (it is never written over). Empty
// when nothing does.
std::string obstacle(const FlatArgs& args) {
    // The header block and 200 records of at most 32767 bytes: the most a frame can hold.
    constexpr std::size_t kMaxFrameBytes = 2048 + 200 * (2 + 32767);
    for (const std::string* path : {&args.image, &args.flat}) {
        const ReadResult file = readFileStart(*path, kMaxFrameBytes);
        if (!file.failure.empty()) return *path + ": " + file.failure;
        if (path == &args.flat) {
            if (const KelmHeader header = parseHeader(file.bytes); !header.failure.empty()) {
                return *path + ": not a flat frame: " + header.failure;
            }
        }
    }
    const std::string out = basePath(args.out, "") + ".QTX";
    std::error_code error;
    if (std::filesystem::exists(out, error))
        return out + " already exists; it is never written over";
    return {};
}

}  // namespace

int runFlat(const FlatArgs& args) {
    if (const std::string problem = obstacle(args); !problem.empty()) {
        FileRun::summary(problem);
        FileRun::summary("no image written");
        return kExitFailed;
    }
    FileRun run;
    // The correction shifts the flat by the image's track offsets: a summed image without its
    // own track list would be corrected wrongly.
    if (run.load(args.image, true) &&
        corrected(run.step(&Console::mnuflatfield_Click, args.flat))) {
        const FileRun::Said said = run.step(&Console::mnuCompSave_Click, args.out);
        if (saved(said)) {
            FileRun::summary("1 image written");
            return kExitOk;
        }
        if (said.has<FileWritten>([](const FileWritten& w) { return w.kind == FileKind::Image; })) {
            // The image file is there; what was refused is its track list.
            FileRun::summary("1 image written without its track list");
            return kExitFailed;
        }
    }
    FileRun::summary("no image written");
    return kExitFailed;
}

}  // namespace qtx::cli

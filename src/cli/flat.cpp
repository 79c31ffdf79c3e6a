// `qtx flat`: "Load QTX Frame from Disk" for the image, "Flat Field" with the flat frame,
// then "Save QTX Frame", as the window runs them.
#include <algorithm>

#include "commands.hpp"
#include "file_run.hpp"

namespace qtx::cli {

namespace {

bool corrected(const FileRun::Said& said) { return said.has<FlatFieldApplied>(); }

// Every file of the image written: the image, and its track list when it has one.
bool saved(const FileRun::Said& said) {
    return said.messages.empty() && !said.has<FileRefused>() &&
           said.has<FileWritten>([](const FileWritten& w) { return w.kind == FileKind::Image; });
}

}  // namespace

int runFlat(const FlatArgs& args) {
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

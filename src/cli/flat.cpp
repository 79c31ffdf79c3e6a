// `qtx flat`: "Load QTX Frame from Disk" for the image, "Flat Field" with the flat frame,
// then "Save QTX Frame", as the window runs them.
#include <algorithm>

#include "commands.hpp"
#include "file_run.hpp"

namespace qtx::cli {

namespace {

const std::string kCorrected = "Done with flat field correction";

bool corrected(const FileRun::Said& said) {
    return said.messages.empty() &&
           std::find(said.status.begin(), said.status.end(), kCorrected) != said.status.end();
}

// Every file of the image written: the last word of the save (after a track list, if any)
// is that a file was saved.
bool saved(const FileRun::Said& said) {
    return said.messages.empty() && !said.status.empty() && said.status.back().ends_with(" saved");
}

}  // namespace

int runFlat(const FlatArgs& args) {
    FileRun run;
    // The correction shifts the flat by the image's track offsets: a summed image without its
    // own track list would be corrected wrongly.
    if (run.load(args.image, true) &&
        corrected(run.step(&Console::mnuflatfield_Click, args.flat)) &&
        saved(run.step(&Console::mnuCompSave_Click, args.out))) {
        FileRun::summary("1 image written");
        return kExitOk;
    }
    FileRun::summary("no image written");
    return kExitFailed;
}

}  // namespace qtx::cli

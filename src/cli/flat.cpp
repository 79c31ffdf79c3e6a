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

std::string checkFlat(const Invocation& call) {
    const char* const names[] = {"IMAGE.QTX", "FLAT.QTX", "OUT.QTX"};
    for (std::size_t i = 0; i < call.operands.size() && i < 3; ++i) {
        if (call.operands[i].empty()) return std::string(names[i]) + " is empty";
    }
    return {};
}

int runFlat(const Invocation& call) {
    FileRun run;
    // The correction shifts the flat by the image's track offsets: a summed image without its
    // own track list would be corrected wrongly.
    if (run.load(call.operands[0], true) &&
        corrected(run.step(&Console::mnuflatfield_Click, call.operands[1])) &&
        saved(run.step(&Console::mnuCompSave_Click, call.operands[2]))) {
        FileRun::summary("1 image written");
        return kExitOk;
    }
    FileRun::summary("no image written");
    return kExitFailed;
}

}  // namespace qtx::cli

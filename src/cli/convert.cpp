// `qtx convert`: "Load QTX Frame from Disk", then "Save as Bitmap", as the window runs them:
// the picture at the file's own display levels, in a new .bmp file.
#include <filesystem>

#include "commands.hpp"
#include "file_run.hpp"
#include "text/numtext.hpp"

namespace qtx::cli {

std::string checkConvert(const Invocation& call) {
    if (call.operands.size() < 2) return {};
    if (call.operands[0].empty()) return "FILE.QTX is empty";
    const std::string& out = call.operands[1];
    const std::size_t slash = out.rfind('/');
    const std::size_t dot = out.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) ||
        out.substr(dot) != ".bmp") {
        return "convert writes a .bmp bitmap: OUT ends in \".bmp\", not '" + out + "'";
    }
    return {};
}

int runConvert(const Invocation& call) {
    FileRun run;
    if (run.load(call.operands[0], false)) {
        // The export says nothing when it has written the file, so the file itself is the
        // proof: the one the export names, new since.
        const std::string bitmap = basePath(call.operands[1], ".bmp");
        std::error_code error;
        const bool existed = std::filesystem::exists(bitmap, error);
        const FileRun::Said said = run.step(&Console::mnubitmap_Click, call.operands[1]);
        if (said.messages.empty() && said.status.empty() && !existed &&
            std::filesystem::is_regular_file(bitmap, error)) {
            FileRun::summary(bitmap + " written");
            return kExitOk;
        }
    }
    FileRun::summary("no bitmap written");
    return kExitFailed;
}

}  // namespace qtx::cli

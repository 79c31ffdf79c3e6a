// The one sequence of every export: ask for a name, derive it, refuse an existing file, write
// it exclusively, say what happened. Each export brings its own texts and its bytes.
#include "console.hpp"
#include "files/files.hpp"
#include "files/disk.hpp"
#include "text/numtext.hpp"

namespace qtx {

void Files::exportFile(const ExportRequest& request) {
    const std::string chosen = chooseFile(false, request.filter);
    if (chosen.empty()) {
        host.messageBox("No file name specified");
        return;
    }
    const std::string path = basePath(chosen, request.extension);
    const auto refuse = [&](bool exists, const std::string& reason) {
        if (exists) {
            host.messageBox(request.existsText);
        } else {
            setText(TextBox::PCtext, request.notSavedText + path + ": " + reason);
        }
        host.report(FileRefused{request.kind, path, exists, reason});
    };
    if (fileExists(path)) {
        refuse(true, {});
        return;
    }
    std::vector<std::uint8_t> bytes;
    if (const std::string failure = request.encode(bytes); !failure.empty()) {
        refuse(false, failure);
        return;
    }
    const WriteResult result = writeNewFile(path, bytes);
    if (result.outcome == WriteResult::Written) {
        host.report(FileWritten{request.kind, path});
    } else {
        // An existing file appeared between the test and the write; it is left as it is.
        refuse(result.outcome == WriteResult::Exists, result.reason);
    }
}

}  // namespace qtx

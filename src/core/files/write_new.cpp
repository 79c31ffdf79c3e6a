// The one sequence every file is written by: derive its name, refuse an existing file before
// anything is encoded, create it exclusively, say what happened. Each writer brings its own
// texts and its bytes.
#include "console.hpp"
#include "files/disk.hpp"
#include "files/files.hpp"
#include "text/numtext.hpp"

namespace qtx {

bool Files::writeNew(FileKind kind, const std::string& path, const Encoder& encode,
                     const Refusal& refused, const std::function<void()>& written) {
    const auto refuse = [&](bool exists, const std::string& reason) {
        refused(exists, reason);
        host.report(FileRefused{kind, path, exists, reason});
        return false;
    };
    if (fileExists(path)) return refuse(true, {});
    std::vector<std::uint8_t> bytes;
    if (const std::string failure = encode(bytes); !failure.empty()) return refuse(false, failure);
    const WriteResult result = writeNewFile(path, bytes);
    // An existing file may appear between the test and the write; it is left as it is.
    if (result.outcome != WriteResult::Written) {
        return refuse(result.outcome == WriteResult::Exists, result.reason);
    }
    if (written) written();
    host.report(FileWritten{kind, path});
    return true;
}

void Files::exportFile(const ExportRequest& request) {
    const std::string chosen = chooseFile(false, request.filter);
    if (chosen.empty()) {
        host.messageBox("No file name specified");
        return;
    }
    const std::string path = basePath(chosen, request.extension);
    writeNew(request.kind, path, request.encode, [&](bool exists, const std::string& reason) {
        if (exists) {
            host.messageBox(request.existsText);
        } else {
            setText(TextBox::PCtext, request.notSavedText + path + ": " + reason);
        }
    });
}

}  // namespace qtx

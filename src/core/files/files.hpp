// The image files: the one file dialog, saving by hand and automatically under numbered
// names with the track list and mosaic data beside the image, loading, the flat frame, and
// the one sequence every export writes its file by.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "files/state.hpp"
#include "image/state.hpp"
#include "part.hpp"

namespace qtx {

// What the file dialog offers; its second pair is selected at start.
enum class FileFilter { Qtx, Bitmap, Code, Fits, Png };

// Encodes a file's bytes; "" or why it cannot be written.
using Encoder = std::function<std::string(std::vector<std::uint8_t>&)>;
// Says in a writer's own words why its file was not written (it exists, or the reason).
using Refusal = std::function<void(bool exists, const std::string& reason)>;

struct ExportRequest {
    FileKind kind;
    FileFilter filter;
    std::string extension;     // of the derived name
    std::string existsText;    // the message box for an existing file
    std::string notSavedText;  // the status text before "PATH: reason"
    Encoder encode;
};

class Files : Part {
  public:
    Files(Console& console, Host& host) : Part(console, host) {}

    void reset() { state = FileNaming{}, loaded.reset(); }
    // The path the user chose, "" when cancelled.
    std::string chooseFile(bool open, FileFilter filter);

    void mnuCompSave_Click();
    void mnuautosave_Click();
    void mnuload_Click();
    // Asks for the base name of numbered files; false: none chosen.
    bool chooseAutoBase();
    // Received images are saved under numbered names from 001.
    void startNumbering() { state.autosave = true, state.filenumber = 1; }
    bool autosave() const { return state.autosave; }
    // Saves an image just received when automatic saving is on; true: its file was written.
    bool saveReceivedImage();

    // Reads a flat frame the user chooses; false: the flat-field command stops.
    bool loadFlat(FlatFile& file);
    // Choose, derive the name, refuse an existing file, write exclusively, report.
    void exportFile(const ExportRequest& request);

    void setCurrentFile(const std::string& path) { state.currentfile = path; }
    // The current image came from the QTX: no file of it is known.
    void forgetLoaded() { loaded.reset(); }
    const std::optional<LoadedImage>& loadedImage() const { return loaded; }
    const FileNaming& view() const { return state; }

  private:
    // Refuses an existing file, writes a new one exclusively and reports the outcome;
    // `written` runs before the report of a file written. True: the file was written.
    bool writeNew(FileKind kind, const std::string& path, const Encoder& encode,
                  const Refusal& refused, const std::function<void()>& written = {});
    bool saveImageFiles();
    bool writeimagefile();
    void writetracklist();
    void writemosaicdata();
    bool writeCompanion(const std::string& extension, const std::string& text);
    // What a refused save says and does: the QTX is told, and a Download All stops.
    Refusal refuseSave(const std::string& path);
    void readtracklist();

    FileNaming state;
    // The files the current image was loaded from; empty for an image received from the
    // QTX. Saving writes them back; the FITS export takes from them what the load does not
    // apply.
    std::optional<LoadedImage> loaded;
};

}  // namespace qtx

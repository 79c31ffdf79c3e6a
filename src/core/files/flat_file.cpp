// Reading a flat-field frame: its pixels, size and display levels, nothing else.
#include "console.hpp"
#include "files/disk.hpp"
#include "files/files.hpp"
#include "files/kelm.hpp"

namespace qtx {

namespace {

constexpr std::int16_t kMaxColumns = 320;
constexpr std::int16_t kMaxRows = 200;
// No file of 200 rows can carry more: the header block and 200 records of at most 32767
// bytes. A longer file is read this far.
constexpr std::size_t kMaxFlatFileBytes = 2048 + 200 * (2 + 32767);

const char* const kUnreadable = "Flat field unsuccessfully loaded";

}  // namespace

// Reads the flat frame into `out`; nothing of the image changes here.
bool Files::loadFlat(FlatFile& out) {
    out.path = chooseFile(true, FileFilter::Qtx);
    if (out.path.empty()) {
        host.messageBox("No file was selected");
        return false;
    }
    setText(TextBox::PCtext, out.path + " loaded");

    const ReadResult file = readFileStart(out.path, kMaxFlatFileBytes);
    if (!file.failure.empty()) {
        host.messageBox(kUnreadable);
        return false;
    }
    // A flat frame has only its display levels and its own size to say.
    const KelmHeader header = parseHeader(file.bytes);
    if (!header.failure.empty()) {
        host.messageBox(kUnreadable);
        return false;
    }
    out.background = header.background;
    out.range = header.range;
    out.frame.flatheight = header.imageheight.value_or(0);
    out.frame.flatwidth = header.imagewidth.value_or(0);
    out.info = header.info;

    // Too large a flat goes on to the size comparison, which refuses it as well.
    if (out.frame.flatwidth > kMaxColumns) {
        host.messageBox("Image is too wide - not QTX Format!");
        return true;
    }
    if (out.frame.flatheight > kMaxRows) {
        host.messageBox("Image is too tall - not QTX Format!");
        return true;
    }
    // A flat of no columns or no rows has nothing to divide by.
    if (out.frame.flatwidth < 1 || out.frame.flatheight < 1) {
        host.messageBox(kUnreadable);
        return false;
    }
    out.frame.flatdata.resize(out.frame.flatwidth, out.frame.flatheight);
    if (!readPixelBlock(file.bytes, header.compressed, out.frame.flatdata).empty()) {
        host.messageBox(kUnreadable);
        return false;
    }
    return true;
}

}  // namespace qtx

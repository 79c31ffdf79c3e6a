// `filedialog`: the console's one open/save dialog, its filter chosen by the caller's flags.
#include "console.hpp"

namespace qtx {

namespace {

// Each text is two pieces joined without a gap, as the dialog has always shown them.
const std::string kQtxFilter = std::string("All Files (*.*)|*.*|QTX Files ") + "(*.QTX)|*.QTX";
const std::string kBmpFilter = std::string("All Files (*.*)|*.*|BMP Files ") + "(*.bmp)|*.bmp";
const std::string kBinFilter = std::string("All Files (*.*)|*.*|BIN Files ") + "(*.bin)|*.bin";
const std::string kFitsFilter = "All Files (*.*)|*.*|FITS Files (*.fits)|*.fits";

}  // namespace

void Console::filedialog() {
    const std::string& filter = files.bmpfilter    ? kBmpFilter
                                : files.binfilter  ? kBinFilter
                                : files.fitsfilter ? kFitsFilter
                                                   : kQtxFilter;
    files.dialogfilename = host.fileDialog(files.dialogopen, filter);
    // Every call starts from a save dialog with the QTX filter unless its caller says otherwise.
    files.dialogopen = false;
    files.bmpfilter = false;
    files.binfilter = false;
    files.fitsfilter = false;
}

}  // namespace qtx

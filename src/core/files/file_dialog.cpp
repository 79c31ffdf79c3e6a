// The console's one open/save dialog, offering the files its caller asks for.
#include "console.hpp"
#include "files/files.hpp"

namespace qtx {

namespace {

// Each text is two pieces joined without a gap, as the dialog has always shown them.
const std::string kQtxFilter = std::string("All Files (*.*)|*.*|QTX Files ") + "(*.QTX)|*.QTX";
const std::string kBmpFilter = std::string("All Files (*.*)|*.*|BMP Files ") + "(*.bmp)|*.bmp";
const std::string kBinFilter = std::string("All Files (*.*)|*.*|BIN Files ") + "(*.bin)|*.bin";
const std::string kFitsFilter = "All Files (*.*)|*.*|FITS Files (*.fits)|*.fits";
const std::string kPngFilter = "All Files (*.*)|*.*|PNG Files (*.png)|*.png";

const std::string& filterText(FileFilter filter) {
    switch (filter) {
        case FileFilter::Bitmap:
            return kBmpFilter;
        case FileFilter::Code:
            return kBinFilter;
        case FileFilter::Fits:
            return kFitsFilter;
        case FileFilter::Png:
            return kPngFilter;
        case FileFilter::Qtx:
            break;
    }
    return kQtxFilter;
}

}  // namespace

std::string Files::chooseFile(bool open, FileFilter filter) {
    return host.fileDialog(open, filterText(filter));
}

}  // namespace qtx

// FITS export: the current image's pixels and facts, into a new ".fits" file.
#include <algorithm>

#include "console.hpp"
#include "files/disk.hpp"
#include "files/fits_file.hpp"
#include "files/fits_keywords.hpp"
#include "text/numtext.hpp"

#ifndef QTX_SOFTWARE
#define QTX_SOFTWARE "qtx-console"
#endif

namespace qtx {

void Console::mnufits_Click() {
    // During a reception the array may already be smaller than the record says: only what
    // exists is exported.
    const int width = std::min<int>(record.imagewidth, record.imagedata.width);
    const int height = std::min<int>(record.imageheight, record.imagedata.height);
    if (width < 1 || height < 1) {
        host.messageBox("No image to export");
        return;
    }
    files.fitsfilter = true;
    filedialog();
    if (files.dialogfilename.empty()) {
        host.messageBox("No file name specified");
        return;
    }
    const std::string path = basePath(files.dialogfilename, ".fits");
    if (fileExists(path)) {
        host.messageBox("FITS File with same name already exists!");
        return;
    }
    const FitsBytes fits =
        imageFits(record, loadedheader ? &*loadedheader : nullptr, optics.unitscm, QTX_SOFTWARE);
    if (!fits.failure.empty()) {
        setText(TextBox::PCtext, "FITS not saved: " + path + ": " + fits.failure);
        return;
    }
    const WriteResult result = writeNewFile(path, fits.bytes);
    if (result.outcome == WriteResult::Exists) {
        // It appeared between the test and the write; it is left as it is.
        host.messageBox("FITS File with same name already exists!");
    } else if (result.outcome == WriteResult::Failed) {
        setText(TextBox::PCtext, "FITS not saved: " + path + ": " + result.reason);
    }
}

}  // namespace qtx

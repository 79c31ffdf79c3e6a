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

std::optional<std::pair<int, int>> ImageView::exportSize() {
    // During a reception the array may already be smaller than the record says: only what
    // exists is exported.
    const int width = std::min<int>(record.imagewidth, record.imagedata.width);
    const int height = std::min<int>(record.imageheight, record.imagedata.height);
    if (width < 1 || height < 1) {
        host.messageBox("No image to export");
        return std::nullopt;
    }
    return std::pair(width, height);
}

void ImageView::mnufits_Click() {
    if (!exportSize()) return;
    console.files.exportFile(
        {FileKind::Fits, FileFilter::Fits, ".fits", "FITS File with same name already exists!",
         "FITS not saved: ", [&](std::vector<std::uint8_t>& bytes) {
             const auto& loaded = console.files.loadedImage();
             FitsBytes fits = imageFits(record, loaded ? &loaded->header : nullptr, optics.unitscm,
                                        QTX_SOFTWARE);
             bytes = std::move(fits.bytes);
             return fits.failure;
         }});
}

}  // namespace qtx

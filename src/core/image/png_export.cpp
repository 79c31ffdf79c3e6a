// PNG export: the image alone at its display levels, without the picture's border, into a
// new ".png" file. The window has no menu entry for it; `qtx convert` asks for it.
#include "console.hpp"
#include "image/grey_png.hpp"
#include "image/render.hpp"

namespace qtx {

void ImageView::exportPng() {
    const auto size = exportSize();
    if (!size) return;
    console.files.exportFile(
        {FileKind::Png, FileFilter::Png, ".png", "PNG File with same name already exists!",
         "PNG not saved: ", [&](std::vector<std::uint8_t>& bytes) {
             const Picture picture = renderPicture(record, flat, size->first, size->second).picture;
             bytes = encodeGreyPng(picture.greys, picture.columns, picture.rows);
             return std::string{};
         }});
}

}  // namespace qtx

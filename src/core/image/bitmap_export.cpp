// Bitmap export: the picture as it is on the screen, into a new ".bmp" file.
#include "console.hpp"
#include "files/disk.hpp"
#include "image/grey_bitmap.hpp"
#include "text/numtext.hpp"

namespace qtx {

void ImageView::mnubitmap_Click() {
    console.files.exportFile({FileKind::Bitmap, FileFilter::Bitmap, ".bmp",
                              "Bitmap File with same name already exists!",
                              "Bitmap not saved: ", [this](std::vector<std::uint8_t>& bytes) {
                                  // What the picture shows is what showimage last painted, which
                                  // after an emptied range box or a refused load is not what the
                                  // record's levels would paint now.
                                  const Picture& shown = record.picture;
                                  bytes = encodeGreyBitmap(shown.greys, shown.columns, shown.rows);
                                  return std::string{};
                              }});
}

}  // namespace qtx

// Bitmap export: the picture as it is on the screen, into a new ".bmp" file.
#include "console.hpp"
#include "files/disk.hpp"
#include "image/grey_bitmap.hpp"
#include "text/numtext.hpp"

namespace qtx {

void Console::mnubitmap_Click() {
    // A save dialog, as every dialog is unless its caller asks for one that opens; the
    // dialog sets bmpfilter false again for the dialogs after it.
    files.bmpfilter = true;
    filedialog();
    if (files.dialogfilename.empty()) {
        host.messageBox("No file name specified");
        return;
    }
    const std::string path = basePath(files.dialogfilename, ".bmp");
    if (fileExists(path)) {
        host.messageBox("Bitmap File with same name already exists!");
        return;
    }
    // What the picture shows is what showimage last painted, which after an emptied range
    // box or a refused load is not what the record's levels would paint now.
    const Picture& shown = record.picture;
    const WriteResult result =
        writeNewFile(path, encodeGreyBitmap(shown.greys, shown.columns, shown.rows));
    if (result.outcome == WriteResult::Exists) {
        // It appeared between the test and the write; it is left as it is.
        host.messageBox("Bitmap File with same name already exists!");
    } else if (result.outcome == WriteResult::Failed) {
        setText(TextBox::PCtext, "Bitmap not saved: " + path + ": " + result.reason);
    }
}

}  // namespace qtx

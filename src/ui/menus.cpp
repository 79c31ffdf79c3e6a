// The menu tree of the main window. Every entry carries its control name as object name.
#include <QMenu>
#include <QMenuBar>
#include <functional>

#include "main_window.hpp"

namespace qtx {

void MainWindow::buildMenus() {
    const auto menu = [](QWidget* parent, const char* name, const char* caption) {
        auto* m = new QMenu(QString::fromLatin1(caption), parent);
        m->setObjectName(QString::fromLatin1(name));
        if (auto* bar = qobject_cast<QMenuBar*>(parent)) {
            bar->addMenu(m);
        } else {
            static_cast<QMenu*>(parent)->addMenu(m);
        }
        return m;
    };
    const auto entry = [this](QMenu* m, const char* name, const char* caption,
                              std::function<void()> handler = {}) {
        QAction* action = m->addAction(QString::fromLatin1(caption));
        action->setObjectName(QString::fromLatin1(name));
        if (handler) connect(action, &QAction::triggered, this, std::move(handler));
        return action;
    };
    const auto separator = [](QMenu* m, const char* name) {
        m->addSeparator()->setObjectName(QString::fromLatin1(name));
    };
    Console& c = core;

    QMenu* fileio = menu(menuBar(), "mnufileio", "File I/O");
    entry(fileio, "mnuload", "Load QTX  Frame from Disk", [&c] { c.mnuload_Click(); });
    separator(fileio, "mnudummy");
    entry(fileio, "mnuCompSave", "Save QTX Frame to Disk in KELM Format",
          [&c] { c.mnuCompSave_Click(); });
    entry(fileio, "mnubitmap", "Save Displayed Image in Bitmap Format",
          [&c] { c.mnubitmap_Click(); });
    separator(fileio, "mnudummy2");
    entry(fileio, "mnuautosave", "Receive and Automatically Save Images",
          [&c] { c.mnuautosave_Click(); });
    separator(fileio, "mnudummy3");
    entry(fileio, "mnuexit", "Exit", [this] { close(); });
    separator(fileio, "mnudummy4");
    entry(fileio, "mnufits", "Export Image as FITS...", [&c] { c.mnufits_Click(); });

    QMenu* download = menu(menuBar(), "mnudownload", "Download");
    entry(download, "mnudownloadlight", "Download Screen Image",
          [&c] { c.mnudownloadlight_Click(); });
    entry(download, "mnuflashdownload", "Download All", [&c] { c.mnuflashdownload_Click(); });
    entry(download, "mnuabort", "Abort Download All", [&c] { c.mnuabort_Click(); });

    QMenu* linkMenu = menu(menuBar(), "mnulink", "Link");
    QMenu* baud = menu(linkMenu, "mnubaud", "Set Baud Rate");
    entry(baud, "mnu19200", "19200 Baud", [&c] { c.setBaud(19200); });
    entry(baud, "mnu38400", "38400 Baud", [&c] { c.setBaud(38400); });
    entry(baud, "mnu57600", "57600 Baud", [&c] { c.setBaud(57600); });
    entry(baud, "mnu115200", "115200 Baud", [&c] { c.setBaud(115200); });
    entry(linkMenu, "mnuestablishlink1", "Establish Link (COM1)", [&c] { c.establishLink(1); });
    entry(linkMenu, "mnuestablishlink2", "Establish Link (COM2)", [&c] { c.establishLink(2); });
    separator(linkMenu, "mnulinkdummy");
    entry(linkMenu, "mnuchooseport", "Choose Serial Port...", [this] { choosePort(); });

    QMenu* display = menu(menuBar(), "mnudisplay", "Display");
    entry(display, "mnucontrast", "Adjust Contrast", [&c] { c.mnucontrast_Click(); });
    entry(display, "mnuautocontrast", "Auto Contrast", [&c] { c.mnuautocontrast_Click(); });

    QMenu* process = menu(menuBar(), "mnuprocess", "Process");
    entry(process, "mnuflatfield", "Flat Field", [&c] { c.mnuflatfield_Click(); });
    entry(process, "mnufocusgraph", "Focus Graph...", [this] { tools->openFocusGraph(); });
    entry(process, "mnutrackoffsets", "Track Offsets...", [this] { tools->openTrackOffsets(); });

    QMenu* edit = menu(menuBar(), "mnuedit", "Edit Data");
    entry(edit, "mnunote", "Note", [&c] { c.mnunote_Click(); });
    entry(edit, "mnufocallength", "Focal Length", [&c] { c.mnufocallength_Click(); });
    entry(edit, "mnuaperturedia", "Aperture Diameter", [&c] { c.mnuaperturedia_Click(); });
    QMenu* units = menu(edit, "mnuunits", "Units");
    entry(units, "mnuinches", "Inches", [&c] { c.mnuinches_Click(); });
    entry(units, "mnucentimeters", "Centimeters", [&c] { c.mnucentimeters_Click(); });

    QMenu* upload = menu(menuBar(), "mnuUpload", "Upload");
    entry(upload, "mnuUploadFile", "Upload New QTX Code", [&c] { c.mnuUploadFile_Click(); });
}

}  // namespace qtx

// The menu tree of the main window. Every entry carries its control name as object name.
#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>
#include <functional>

#include "main_window.hpp"
#include "picture_area.hpp"

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

    // The file dialog a command opens says what it asks for.
    const auto titled = [this](const char* title, void (Console::*click)()) {
        return [this, title, click] {
            qtHost.titleNextDialog(QString::fromLatin1(title));
            (core.*click)();
            qtHost.titleNextDialog({});
        };
    };
    QMenu* fileio = menu(menuBar(), "mnufileio", "File I/O");
    entry(fileio, "mnuload", "Load QTX  Frame from Disk",
          titled("Load QTX Frame", &Console::mnuload_Click))
        ->setShortcut(QKeySequence::Open);
    separator(fileio, "mnudummy");
    entry(fileio, "mnuCompSave", "Save QTX Frame to Disk in KELM Format",
          titled("Save QTX Frame", &Console::mnuCompSave_Click))
        ->setShortcut(QKeySequence::Save);
    entry(fileio, "mnubitmap", "Save Displayed Image in Bitmap Format",
          titled("Save Displayed Image as Bitmap", &Console::mnubitmap_Click));
    separator(fileio, "mnudummy2");
    entry(fileio, "mnuautosave", "Receive and Automatically Save Images",
          titled("Base name for automatic saving", &Console::mnuautosave_Click));
    separator(fileio, "mnudummy4");
    entry(fileio, "mnufits", "Export Image as FITS...",
          titled("Export Image as FITS", &Console::mnufits_Click))
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    separator(fileio, "mnudummy3");
    entry(fileio, "mnuexit", "Exit", [this] {
        close();
    })->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    QMenu* download = menu(menuBar(), "mnudownload", "Download");
    entry(download, "mnudownloadlight", "Download Screen Image",
          [&c] { c.mnudownloadlight_Click(); });
    entry(download, "mnuflashdownload", "Download All",
          titled("Base name for Download All", &Console::mnuflashdownload_Click));
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
    // The zoom steps, the current one checked; the keys and the wheel keep them in step.
    separator(display, "mnuzoomdummy");
    auto* area = findChild<PictureArea*>();
    auto* zooms = new QActionGroup(display);
    const auto zoomEntry = [&](const char* name, const char* caption, Zoom zoom) {
        QAction* action = entry(display, name, caption, [area, zoom] { area->setZoom(zoom); });
        action->setCheckable(true);
        action->setChecked(area->zoom() == zoom);
        zooms->addAction(action);
        connect(area, &PictureArea::zoomChanged, action,
                [action, zoom](Zoom now) { action->setChecked(now == zoom); });
    };
    zoomEntry("mnuzoom1", "Zoom 1x", Zoom::One);
    zoomEntry("mnuzoom2", "Zoom 2x", Zoom::Two);
    zoomEntry("mnuzoom3", "Zoom 3x", Zoom::Three);
    zoomEntry("mnuzoomfit", "Zoom to Fit", Zoom::Fit);

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

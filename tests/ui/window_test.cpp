// The main window's own parts: every menu entry reaches its command of the console, the
// contrast dialog, the picture and the progress line.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QWheelEvent>
#include <functional>

#include "contrast_dialog.hpp"
#include "histogram_view.hpp"
#include "main_window.hpp"
#include "picture_view.hpp"
#include "progress_meter.hpp"
#include "ui_support.hpp"

namespace qtx::test {
namespace {

QString status(const MainWindow& window) {
    return window.findChild<QPlainTextEdit*>("PCtext")->toPlainText();
}

// Each entry by its menu path (as the README names them) and what it does when the port
// could not be opened and every dialog is cancelled.
TEST(Window, EveryMenuEntryReachesItsCommand) {
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    MainWindow window(PortMap{"/nonexistent/com1", "/nonexistent/com2"});
    window.show();
    Console& c = window.console();
    const QString noPort = "No COM port is open to QTX", noFile = "No file was selected",
                  noName = "No file name specified", qtx = "QTX Files (*.QTX)";
    using Check = std::function<bool()>;
    const auto baud = [&c](int index) -> Check {
        return [&c, index] { return c.link.baudindex == index; };
    };
    const auto says = [&window](const char* start) -> Check {
        return [&window, start] { return status(window).startsWith(start); };
    };
    const struct {
        const char* path;  // menu titles and the entry's caption
        const char* name;
        QStringList dialogs;
        Check done = {};  // what the command changed, when no dialog shows it
    } entries[] = {
        {"File I/O > Load QTX  Frame from Disk", "mnuload", {"open " + qtx, noFile}},
        {"File I/O > Save QTX Frame to Disk in KELM Format",
         "mnuCompSave",
         {"save " + qtx, noName}},
        {"File I/O > Save Displayed Image in Bitmap Format",
         "mnubitmap",
         {"save BMP Files (*.bmp)", noName}},
        {"File I/O > Receive and Automatically Save Images",
         "mnuautosave",
         {"save " + qtx, noFile}},
        {"Download > Download Screen Image", "mnudownloadlight", {noPort}},
        {"Download > Download All", "mnuflashdownload", {"save " + qtx, noFile}},
        {"Download > Abort Download All", "mnuabort", {}, [&] { return !c.reception.downloadall; }},
        {"Link > Set Baud Rate > 19200 Baud", "mnu19200", {}, baud(4)},
        {"Link > Set Baud Rate > 38400 Baud", "mnu38400", {}, baud(3)},
        {"Link > Set Baud Rate > 57600 Baud", "mnu57600", {}, baud(2)},
        {"Link > Set Baud Rate > 115200 Baud", "mnu115200", {}, baud(1)},
        {"Link > Establish Link (COM1)",
         "mnuestablishlink1",
         {},
         says("COM1 not available\n/nonexistent/com1: no such device")},
        {"Link > Establish Link (COM2)",
         "mnuestablishlink2",
         {},
         says("COM2 not available\n/nonexistent/com2: no such device")},
        {"Display > Adjust Contrast", "mnucontrast", {"Adjust Background and Range"}},
        {"Display > Auto Contrast", "mnuautocontrast", {}, [&] { return c.record.range == 128; }},
        {"Process > Flat Field", "mnuflatfield", {"open " + qtx, noFile}},
        {"Edit Data > Note", "mnunote", {"Input note (if desired)"}},
        {"Edit Data > Focal Length", "mnufocallength", {"Input focal length in inches"}},
        {"Edit Data > Aperture Diameter", "mnuaperturedia", {"Input aperture diameter in inches"}},
        {"Edit Data > Units > Centimeters", "mnucentimeters", {}, [&] { return c.optics.unitscm; }},
        {"Edit Data > Units > Inches", "mnuinches", {}, [&] { return !c.optics.unitscm; }},
        {"Upload > Upload New QTX Code", "mnuUploadFile", {noPort}},
        {"File I/O > Export Image as FITS...", "mnufits", {"No image to export"}},
        {"Link > Choose Serial Port...", "mnuchooseport", {"Choose Serial Port"}},
        {"File I/O > Exit", "mnuexit", {}, [&] { return !window.isVisible(); }},
    };
    c.link.baudindex = 0;
    c.reception.downloadall = true;
    c.record.range = 7;
    for (const auto& e : entries) {
        SCOPED_TRACE(e.path);
        QStringList path = QString::fromLatin1(e.path).split(" > ");
        auto* action = window.findChild<QAction*>(e.name);
        ASSERT_NE(action, nullptr);
        EXPECT_EQ(action->text(), path.takeLast());
        for (const QObject* menu = action->parent(); !path.isEmpty(); menu = menu->parent()) {
            ASSERT_NE(qobject_cast<const QMenu*>(menu), nullptr);
            EXPECT_EQ(static_cast<const QMenu*>(menu)->title(), path.takeLast());
        }
        Dialogs dialogs;
        action->trigger();
        pumpUntil([&] { return dialogs.seen.size() >= e.dialogs.size(); }, 3000);
        EXPECT_EQ(dialogs.seen, e.dialogs);
        EXPECT_TRUE(!e.done || e.done());
    }
}

TEST(Window, TurboKeyFaceTurnsGreenAndBack) {
    MainWindow window(PortMap{"/nonexistent/com1", ""});
    window.show();
    Dialogs dialogs;  // "No COM port is open to QTX"
    auto* turbo = window.findChild<QAbstractButton*>("cmdturbo");
    const auto face = [&] {
        const QImage image = turbo->grab().toImage();
        return image.pixelColor(image.width() / 2, image.height() / 4);
    };
    for (const QColor& expected : {QColor(255, 0, 0), QColor(0, 255, 0), QColor(255, 0, 0)}) {
        EXPECT_EQ(face(), expected);
        turbo->click();
    }
}

TEST(Window, ContrastDialogReturnsTextsOnlyFromDone) {
    MainWindow window(PortMap{"/nonexistent/com1", ""});
    auto* dialog = window.findChild<ContrastDialog*>("frmcontrast");
    auto* background = dialog->findChild<QLineEdit*>("txtbackground");
    auto* range = dialog->findChild<QLineEdit*>("txtrange");
    // The histogram marks what the boxes hold as either changes.
    auto* histogram = dialog->findChild<HistogramView*>("histogram");
    QString shown;
    std::vector<std::optional<ContrastMarks>> marks;
    QTimer::singleShot(0, dialog, [&] {
        shown = background->text() + "|" + range->text();
        marks.push_back(histogram->marks());
        background->setText("-200");
        marks.push_back(histogram->marks());
        range->setText("3000");
        marks.push_back(histogram->marks());
        dialog->findChild<QPushButton*>("cmddone")->click();
    });
    const ContrastTexts typed = window.host().runContrastDialog({" 884", " 128"}, {});
    EXPECT_EQ(marks,
              (std::vector<std::optional<ContrastMarks>>{
                  ContrastMarks{884, 1012}, ContrastMarks{-200, -72}, ContrastMarks{-200, 2800}}));
    EXPECT_EQ(shown, " 884| 128");
    EXPECT_EQ(typed.background + "|" + typed.range, "-200|3000");
    EXPECT_FALSE(dialog->isVisible());
    // Closing it with the window's close button throws away what was typed.
    QTimer::singleShot(0, dialog, [&] {
        background->setText("5");
        dialog->close();
    });
    const ContrastTexts closed = window.host().runContrastDialog({" 1", " 2"}, {});
    EXPECT_EQ(closed.background + closed.range, "");
}

TEST(Window, PictureReportsPicturePixelsAndTakesBitsLineByLine) {
    PictureView view(2);
    std::array<double, 4> moved{-1, -1, -1, -1};
    QObject::connect(&view, &PictureView::pointerMoved,
                     [&](int button, int shift, double x, double y) {
                         moved = {static_cast<double>(button), static_cast<double>(shift), x, y};
                     });
    const struct {
        QPointF at;
        Qt::MouseButtons buttons;
        Qt::KeyboardModifiers modifiers;
        std::array<double, 4> expected;
    } cases[] = {
        {{0, 0}, Qt::NoButton, Qt::NoModifier, {0, 0, 0, 0}},
        {{121, 41}, Qt::LeftButton, Qt::ShiftModifier, {1, 1, 60, 20}},
        {{120.5, 41.9}, Qt::RightButton, Qt::ControlModifier, {2, 2, 60, 20}},
        {{639, 399}, Qt::MiddleButton, Qt::AltModifier, {4, 4, 319, 199}},
    };
    for (const auto& c : cases) {
        QMouseEvent move(QEvent::MouseMove, c.at, view.mapToGlobal(c.at), Qt::NoButton, c.buttons,
                         c.modifiers);
        QCoreApplication::sendEvent(&view, &move);
        EXPECT_EQ(moved, c.expected);
    }
    const SurfaceGeometry g = view.geometryOfBits();
    EXPECT_EQ(std::tuple(g.bytesPerLine, g.scanLines, g.bitsPerPixel), std::tuple(1280, 200, 32));
    // Line 1 grey 0x40 at pixel 2, the rest of the first two lines 0x10; the lines below
    // keep their black.
    std::vector<std::uint8_t> bits(2 * 1280, 0x10);
    std::fill_n(bits.begin() + 1280 + 8, 4, 0x40);
    view.setBits(bits);
    view.setPixel(5, 199, Colour{1, 2, 3});
    view.setPixel(320, 0, Colour{9, 9, 9});  // off the surface: ignored
    const QImage& shown = view.image();
    EXPECT_EQ(shown.pixel(2, 1), qRgb(0x40, 0x40, 0x40));
    EXPECT_EQ(shown.pixel(319, 0), qRgb(0x10, 0x10, 0x10));
    EXPECT_EQ(shown.pixel(0, 2), qRgb(0, 0, 0));
    EXPECT_EQ(shown.pixel(5, 199), qRgb(1, 2, 3));
}

TEST(Window, ProbeNamesThePixelUnderThePointerAt3x) {
    // A 200 x 100 image sits at surface (60, 50); image pixel (12, 34) is surface (71, 83),
    // the screen square 213..215 x 249..251 at 3x.
    MainWindow window(PortMap{"/nonexistent/com1", ""});
    ImageRecord& r = window.console().record;
    r.imagedata.resize(200, 100);
    r.imagedata.at(12, 34) = 1530;
    r.imagedata.at(13, 34) = 7;
    r.imagewidth = 200;
    r.imageheight = 100;
    r.background = 0;
    r.range = 2000;
    window.console().showimage();
    window.show();
    auto* picture = window.findChild<PictureView*>("Picdata");
    auto* area = window.findChild<QScrollArea*>("pictureArea");
    const auto wheel = [&](int delta) {  // with Ctrl held: a zoom, in when away from the user
        QWheelEvent e({10, 10}, area->mapToGlobal(QPointF(10, 10)), {}, {0, delta}, Qt::NoButton,
                      Qt::ControlModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(area->viewport(), &e);
    };
    wheel(60);
    EXPECT_EQ(picture->zoom(), 2);
    wheel(60);
    ASSERT_EQ(picture->zoom(), 3);
    const auto probe = [&](QPointF at) {
        QMouseEvent move(QEvent::MouseMove, at, picture->mapToGlobal(at), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(picture, &move);
        return status(window);
    };
    EXPECT_EQ(probe({213, 249}), "Pixel position ( 12,  34) =  1530");
    EXPECT_EQ(probe({215.9, 251.9}), "Pixel position ( 12,  34) =  1530");
    EXPECT_EQ(probe({216, 249}), "Pixel position ( 13,  34) =  7");
    // Drawn as whole squares: the three screen pixels of one picture pixel alike.
    const QImage shown = picture->grab().toImage();
    EXPECT_EQ(shown.pixel(213, 249), shown.pixel(215, 251));
    EXPECT_NE(shown.pixel(215, 249), shown.pixel(216, 249));
    // Fit follows the window's size; the keys step back.
    wheel(120);
    window.resize(2200, 1600);
    EXPECT_TRUE(pumpUntil([&] { return picture->zoom() > 3; }, 2000)) << picture->zoom();
    window.findChild<QAction*>("zoomOut")->trigger();
    EXPECT_EQ(picture->zoom(), 3);
}

TEST(Window, ProgressShowsRowsRepeatsAndTimeLeft) {
    MainWindow window(PortMap{"/nonexistent/com1", ""});
    window.show();
    auto* bar = window.findChild<QProgressBar*>();
    EXPECT_FALSE(bar->isVisible());
    window.host().showProgress(Progress{Progress::Kind::Rows, 50, 200, 2, 5, 2, 7});
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(std::pair(bar->value(), bar->maximum()), std::pair(50, 200));
    QStringList labels;
    for (const QLabel* label : window.findChildren<QLabel*>()) labels << label->text();
    EXPECT_TRUE(labels.contains("Buffer 5, image 2 of 7: row 50 of 200, 2 repeated"))
        << labels.join("|").toStdString();
    window.host().hideProgress();
    EXPECT_FALSE(bar->isVisible());
}

// What the progress line says and how often: at most every period, except when the count
// of repeats changes or the transfer ends.
TEST(ProgressMeterTest, TextsAndTheirPace) {
    using K = Progress::Kind;
    ProgressMeter meter(250);
    const struct {
        Progress p;
        qint64 nowMs;
        const char* text;  // nullptr: nothing new shown
    } steps[] = {
        {{K::Rows, 0, 200}, 0, "Row 0 of 200"},
        {{K::Rows, 10, 200}, 249, nullptr},
        {{K::Rows, 50, 200}, 1000, "Row 50 of 200, about 3 s left"},
        {{K::Rows, 60, 200, 1}, 1001, "Row 60 of 200, 1 repeated, about 3 s left"},
        {{K::Rows, 200, 200, 1}, 1002, "Row 200 of 200, 1 repeated, about 0 s left"},
        {{K::Rows, 9, 200, 0, 5, 2, 7}, 1003, "Buffer 5, image 2 of 7: row 9 of 200"},
        {{K::Pages, 3, 192}, 1004, "Page 3 of 192"},
    };
    for (const auto& s : steps) {
        const auto shown = meter.update(s.p, s.nowMs);
        EXPECT_EQ(shown ? shown->text.toStdString() : "-", s.text ? s.text : "-");
    }
}

}  // namespace
}  // namespace qtx::test

// The shell on screen (each menu entry, the contrast dialog, the picture) and on a real
// descriptor (a port another program holds, the adapter pulled out mid transfer).
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSerialPort>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <functional>
#include <memory>

#include "contrast_dialog.hpp"
#include "files/kelm.hpp"
#include "growing_picture.hpp"
#include "main_window.hpp"
#include "picture_view.hpp"
#include "plot_view.hpp"
#include "pty/pty_server.hpp"
#include "status_panel.hpp"
#include "temp_dir.hpp"
#include "termination.hpp"
#include "upload/code_image.hpp"
#include "upload/crc16.hpp"

namespace qtx::test {
namespace {

// Runs the event loop until done() holds or timeoutMs pass; true when done() held.
template <class Done>
bool pumpUntil(Done done, int timeoutMs = 5000) {
    QTimer wake;  // the loop sleeps between events; this wakes it to look again
    wake.start(5);
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Answers every modal dialog that comes up, writing down which it was: a file dialog with
// `path` (cancelled when empty); anything else is closed.
class Dialogs {
  public:
    Dialogs() {
        QObject::connect(&poll, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* d = qobject_cast<QFileDialog*>(modal)) {
                seen << (d->acceptMode() == QFileDialog::AcceptOpen ? "open " : "save ") +
                            d->selectedNameFilter();
                d->selectFile(path);
                QMetaObject::invokeMethod(d, path.isEmpty() ? "reject" : "accept",
                                          Qt::QueuedConnection);
            } else if (modal && modal->isVisible()) {
                auto* box = qobject_cast<QMessageBox*>(modal);
                auto* input = qobject_cast<QInputDialog*>(modal);
                seen << (box ? box->text() : input ? input->labelText() : modal->windowTitle());
                QMetaObject::invokeMethod(modal, "close", Qt::QueuedConnection);
            }
        });
        poll.start(2);
    }
    QString path;
    QStringList seen;

  private:
    QTimer poll;
};

QString status(const QWidget& window) {
    return window.findChild<QPlainTextEdit*>("PCtext")->toPlainText();
}

// What each entry does when COM1 cannot be opened, COM2 names no device and every dialog
// is cancelled.
TEST(Window, EveryMenuEntryReachesItsCommand) {
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    MainWindow window(PortMap{"/nonexistent/com1", ""});
    window.show();
    Console& c = window.console();
    const auto* history = window.findChild<QPlainTextEdit*>("history");
    const QString noPort = "No COM port is open to QTX", noFile = "No file was selected",
                  noName = "No file name specified", openQtx = "open QTX Files (*.QTX)",
                  saveQtx = "save QTX Files (*.QTX)";
    const auto says = [&window](const char* start) -> std::function<bool()> {
        return [&window, start] { return status(window).startsWith(start); };
    };
    const struct {
        const char* name;
        QStringList dialogs;
        std::function<bool()> done = {};  // what the command changed, when no dialog shows it
    } entries[] = {
        {"mnuload", {openQtx, noFile}},
        {"mnuCompSave", {saveQtx, noName}},
        {"mnubitmap", {"save BMP Files (*.bmp)", noName}},
        {"mnuautosave", {saveQtx, noFile}},
        {"mnudownloadlight", {noPort}},
        {"mnuflashdownload", {saveQtx, noFile}},
        {"mnuabort",
         {},
         [&] { return history->toPlainText().endsWith("no Download All is under way"); }},
        {"mnu19200", {}, [&] { return c.linkState().baudindex == 4; }},
        {"mnu38400", {}, [&] { return c.linkState().baudindex == 3; }},
        {"mnu57600", {}, [&] { return c.linkState().baudindex == 2; }},
        {"mnu115200", {}, [&] { return c.linkState().baudindex == 1; }},
        {"mnuestablishlink1", {}, says("COM1 not available\n/nonexistent/com1: no such device")},
        {"mnuestablishlink2", {}, says("COM2 not available\nCOM2: no device is assigned")},
        {"mnucontrast", {"Adjust Background and Range"}},
        {"mnuautocontrast", {}, [&] { return c.image().range == 128; }},
        {"mnuflatfield", {openQtx, noFile}},
        {"mnunote", {"Input note (if desired)"}},
        {"mnufocallength", {"Input focal length in inches"}},
        {"mnuaperturedia", {"Input aperture diameter in inches"}},
        {"mnucentimeters", {}, [&] { return c.opticsSettings().unitscm; }},
        {"mnuinches", {}, [&] { return !c.opticsSettings().unitscm; }},
        {"mnuUploadFile", {noPort}},
        {"mnufits", {"No image to export"}},
        {"mnuchooseport", {"Choose Serial Port"}},
        {"mnuexit", {}, [&] { return !window.isVisible(); }},
    };
    for (const auto& e : entries) {
        SCOPED_TRACE(e.name);
        Dialogs dialogs;
        window.findChild<QAction*>(e.name)->trigger();
        pumpUntil([&] { return dialogs.seen.size() >= e.dialogs.size(); }, 3000);
        EXPECT_EQ(dialogs.seen, e.dialogs);
        EXPECT_TRUE(!e.done || e.done()) << status(window).toStdString();
    }
}

// The dialog shows the console's texts; only Done returns what was typed.
TEST(Window, ContrastDialogReturnsTextsOnlyFromDone) {
    ContrastDialog dialog;
    auto* background = dialog.findChild<QLineEdit*>("txtbackground");
    auto* range = dialog.findChild<QLineEdit*>("txtrange");
    QString shown;
    QTimer::singleShot(0, &dialog, [&] {
        shown = background->text() + "|" + range->text() + "|";
        background->setText("-200");
        range->setText("3000");
        dialog.findChild<QPushButton*>("cmddone")->click();
    });
    const ContrastTexts typed = dialog.run({" 884", " 128"}, {});
    EXPECT_EQ(shown + QString::fromStdString(typed.background + "|" + typed.range),
              " 884| 128|-200|3000");
    QTimer::singleShot(0, &dialog, [&] { dialog.close(); });
    const ContrastTexts closed = dialog.run({" 1", " 2"}, {});
    EXPECT_EQ(closed.background + closed.range, "");
}

// A 200 x 100 image sits at surface (60, 50); at 3x image pixel (12, 34) is the screen
// square 213..215 x 249..251, drawn whole and named by the probe.
TEST(Window, ShowsAnImageAndProbesItAt3x) {
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    ImageRecord r;
    r.imagewidth = 200;
    r.imageheight = 100;
    r.range = 2000;
    std::vector<std::uint8_t> file = composeHeader(r, false);
    for (int y = 1; y <= 100; ++y) {
        std::vector<std::uint16_t> row(200, 0);
        if (y == 34) row[11] = 1530, row[12] = 7;
        packRow(row, file);
    }
    TempDir tmp;
    TempDir::write(tmp.path("m31.QTX"), std::string(file.begin(), file.end()));
    MainWindow window(PortMap{"/nonexistent/com1", ""});
    window.show();
    Dialogs dialogs;
    dialogs.path = QString::fromStdString(tmp.path("m31.QTX"));
    window.findChild<QAction*>("mnuload")->trigger();
    ASSERT_EQ(dialogs.seen, QStringList{"open QTX Files (*.QTX)"});
    auto* picture = window.findChild<PictureView*>("Picdata");
    auto* area = window.findChild<QScrollArea*>("pictureArea");
    const auto wheel = [&](int delta) {  // with Ctrl held: a zoom, in when away from the user
        QWheelEvent e({10, 10}, area->mapToGlobal(QPointF(10, 10)), {}, {0, delta}, Qt::NoButton,
                      Qt::ControlModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(area->viewport(), &e);
    };
    wheel(60);
    wheel(60);
    ASSERT_EQ(picture->zoom(), 3);
    const auto probe = [&](QPointF at) {
        QMouseEvent move(QEvent::MouseMove, at, picture->mapToGlobal(at), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(picture, &move);
        return status(window);
    };
    EXPECT_EQ(probe({215.9, 251.9}), "Pixel position ( 12,  34) =  1530");
    EXPECT_EQ(probe({216, 249}), "Pixel position ( 13,  34) =  7");
    // Drawn as whole squares of the surface's pixels, opaque.
    const QImage shown = picture->grab().toImage();
    const QImage& surface = picture->image();
    EXPECT_EQ((std::vector{shown.pixel(213, 249), shown.pixel(215, 251), shown.pixel(216, 249)}),
              (std::vector{surface.pixel(71, 83), surface.pixel(71, 83), surface.pixel(72, 83)}));
    EXPECT_NE(surface.pixel(71, 83), surface.pixel(72, 83));
    // Fit follows the window's size; the keys step back.
    wheel(120);
    window.resize(2200, 1600);
    EXPECT_TRUE(pumpUntil([&] { return picture->zoom() > 3; }, 2000)) << picture->zoom();
    window.findChild<QAction*>("zoomOut")->trigger();
    EXPECT_EQ(picture->zoom(), 3);

    window.host().showProgress(Progress{Progress::Kind::Rows, 50, 200});
    auto* bar = window.findChild<QProgressBar*>();
    EXPECT_EQ(std::tuple(bar->isVisible(), bar->value(), bar->maximum()),
              std::tuple(true, 50, 200));
    window.host().hideProgress();
    EXPECT_FALSE(bar->isVisible());
}

// The status bar through a link that opens, fails, is lost and comes back; the display is
// greyed whenever the QTX cannot be heard.
TEST(Window, StatusBarFollowsTheLink) {
    MainWindow window(PortMap{"/nonexistent/com1", "rfc2217://scope:2217"});
    StatusPanel& panel = *window.findChild<StatusPanel*>();
    auto* display = window.findChild<QPlainTextEdit*>("QTXText");
    const struct {
        Event event;
        QString port, link;
    } steps[] = {
        {PortFailed{1, "gone"}, "COM1 (/nonexistent/com1)",
         "Not linked: COM1 could not be opened; choose Link > Choose Serial Port..."},
        {PortOpened{2, "57600,N,8,2"}, "COM2 (rfc2217://scope:2217), 57600 baud",
         "Waiting for the QTX"},
        {LinkEstablished{}, "COM2 (rfc2217://scope:2217), 57600 baud", "Linked"},
        {CommunicationFailed{}, "COM2 (rfc2217://scope:2217), 57600 baud", "Communication failed"},
        {KeyAcknowledged{}, "COM2 (rfc2217://scope:2217), 57600 baud", "Linked"},
        {PortLost{2, "rfc2217://scope:2217"}, "COM2 (rfc2217://scope:2217), 57600 baud",
         "Link lost: choose Link > Establish Link when the device is back"},
        {PortOpened{2, "115200,N,8,2"}, "COM2 (rfc2217://scope:2217), 115200 baud",
         "Waiting for the QTX"},
        {LinkEstablished{}, "COM2 (rfc2217://scope:2217), 115200 baud", "Linked"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.link.toStdString());
        window.host().report(step.event);
        EXPECT_EQ(panel.portLabel->text(), step.port);
        EXPECT_EQ(panel.linkLabel->text(), step.link);
        EXPECT_EQ(display->property("linkDown").toBool(), step.link != "Linked");
    }
}

// The history keeps every text and names the files of a Download All, or where it stopped.
TEST(Window, HistorySummarisesDownloadAll) {
    MainWindow window(PortMap{"/nonexistent/com1", ""});
    QtHost& host = window.host();
    auto* history = window.findChild<QPlainTextEdit*>("history");
    history->clear();
    const auto saved = [&](const char* path) { host.report(FileWritten{FileKind::Image, path}); };
    host.report(ImageStarted{3, 320, 200, 1, 9});  // one that never ended (the port lost)
    saved("/night/m30001.QTX");
    host.report(ImageStarted{3, 320, 200, 1, 2});
    saved("/night/m31001.QTX");
    host.report(ImageStarted{4, 320, 200, 2, 2});
    saved("/night/m31002.QTX");
    host.report(DownloadAllEnded{DownloadAllEnded::End::Completed, 2, 2});
    host.report(ImageStarted{3, 320, 200, 1, 2});
    host.report(DownloadAllEnded{DownloadAllEnded::End::Completed, 2, 0});
    host.report(ImageStarted{3, 320, 200, 1, 3});
    saved("/night/m32001.QTX");
    host.setText(TextBox::PCtext, "Download All aborted\r\n", false);
    host.report(DownloadAllEnded{DownloadAllEnded::End::Aborted, 1, 1});
    host.report(FileWritten{FileKind::Fits, "/night/m32001.fits"});
    window.findChild<QAction*>("mnuabort")->trigger();  // with nothing under way
    QStringList lines = history->toPlainText().split('\n');
    for (QString& line : lines) line = line.mid(10);  // "HH:mm:ss  "
    EXPECT_EQ(lines,
              (QStringList{"Image written: /night/m30001.QTX", "Image written: /night/m31001.QTX",
                           "Image written: /night/m31002.QTX",
                           "2 images saved as /night/m31001.QTX ... m31002.QTX",
                           "Download All: 2 images received, none saved",
                           "Image written: /night/m32001.QTX", "Download All aborted",
                           "Download All aborted after 1 of 3 images; 1 image saved as "
                           "/night/m32001.QTX",
                           "FITS written: /night/m32001.fits",
                           "Abort Download All: no Download All is under way"}));
}

// Zooming in grows the window with the step itself, as far as the screen allows; the zoom
// entries and the status bar follow; the desktop shortcuts reach their entries.
TEST(Window, ZoomGrowsAtOnceAndShortcutsReachTheirEntries) {
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    MainWindow window(PortMap{"/nonexistent/com1", ""});
    window.findChild<QAction*>("mnuzoom1")->trigger();
    window.show();
    window.resize(window.minimumSizeHint());
    const QSize before = window.size();
    window.findChild<QAction*>("mnuzoom2")->trigger();
    const QSize room = window.screen()->availableGeometry().size();
    EXPECT_GT(window.width(), before.width());
    EXPECT_GE(window.findChild<QScrollArea*>("pictureArea")->width(),
              std::min(2 * PictureView::kWidth, room.width() - 400));
    EXPECT_EQ(window.findChild<StatusPanel*>()->zoomLabel->text(), "Zoom: 2x");
    EXPECT_TRUE(window.findChild<QAction*>("mnuzoom2")->isChecked());

    for (const auto& [keys, name] : {std::pair{"Ctrl+O", "mnuload"},
                                     {"Ctrl+S", "mnuCompSave"},
                                     {"Ctrl+E", "mnufits"},
                                     {"Ctrl+Q", "mnuexit"}}) {
        SCOPED_TRACE(name);
        int fired = 0;
        auto* action = window.findChild<QAction*>(name);
        const auto seen = QObject::connect(action, &QAction::triggered, [&] { ++fired; });
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        Dialogs dialogs;  // what the entry opens is cancelled
        QTest::keySequence(&window, QKeySequence(QString::fromLatin1(keys)));
        EXPECT_EQ(fired, 1);
        QObject::disconnect(seen);
    }
}

// Stars in the window, from the images the console reports: the status bar's summary, a
// click on a star, the focus graph (one point an image since it opened) and the track
// offsets of a summed image (grabbed into QTX_SCREENSHOT_DIR when that is set, for the
// README).
TEST(Window, StarsFocusGraphAndTrackOffsetsFollowTheImages) {
    MainWindow window(PortMap{"/nonexistent/com1", ""});
    window.show();
    ImageRecord r;
    r.imagewidth = 200;
    r.imageheight = 100;
    r.xoffset = 60;  // where the console centres a 200 x 100 image
    r.yoffset = 50;
    r.pixelsize = 0.0074F;
    r.focallength = 80.0F;
    r.hdrflags = 2;  // inches
    r.numexposures = 4;
    std::array<std::int32_t, 320> tracks{0, 0, 1, 0xFFFF, 2, 1, 0xFFFE, 0};  // (1,-1) (2,1) (-2,0)
    const auto draw = [&](double sigma) {
        r.imagedata.resize(200, 100);
        unsigned noise = 1;
        for (int y = 1; y <= 100; ++y) {
            for (int x = 1; x <= 200; ++x) {
                noise = noise * 1103515245U + 12345U;
                double v = 500.0 + static_cast<double>((noise >> 16) % 21) - 10.0;
                for (const auto& [cx, cy] : {std::pair(50.0, 40.0), std::pair(120.0, 70.0)})
                    v += 8000.0 * std::exp(-((x - cx) * (x - cx) + (y - cy) * (y - cy)) /
                                           (2 * sigma * sigma));
                r.imagedata.at(x, y) = static_cast<std::uint16_t>(v);
            }
        }
        window.host().report(ImageReceived{0, &r, &tracks});
    };
    auto* starField = window.findChild<QLabel*>("starField");
    window.findChild<QAction*>("mnufocusgraph")->trigger();
    for (const double sigma : {2.5, 1.8, 1.3, 1.6}) draw(sigma);
    EXPECT_TRUE(starField->text().startsWith("2 stars, FWHM 3."))
        << starField->text().toStdString();
    EXPECT_TRUE(starField->text().contains("\")"));  // arcseconds: the scale is known

    auto* picture = window.findChild<PictureView*>("Picdata");
    const auto click = [&](int x, int y) {  // picture pixel
        const QPointF at((x + 0.5) * picture->zoom(), (y + 0.5) * picture->zoom());
        QMouseEvent press(QEvent::MouseButtonPress, at, picture->mapToGlobal(at), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(picture, &press);
        return status(window);
    };
    EXPECT_TRUE(click(60 + 119, 50 + 69).startsWith("Star at (120.00, 70.00): peak "))
        << status(window).toStdString();
    const QString before = status(window);
    EXPECT_EQ(click(60 + 10, 50 + 10), before);  // no star there: nothing changes

    auto* focus = window.findChild<PlotView*>();
    ASSERT_NE(focus, nullptr);
    std::vector<double> hfr;
    for (const QPointF& p : focus->series().at(0).points) hfr.push_back(p.y());
    ASSERT_EQ(hfr.size(), 4U);
    EXPECT_TRUE(hfr[2] < hfr[1] && hfr[1] < hfr[0] && hfr[2] < hfr[3]) << hfr[0] << " " << hfr[2];

    window.findChild<QAction*>("mnutrackoffsets")->trigger();
    auto* trackWindow = window.findChild<QWidget*>("trackOffsets");
    ASSERT_NE(trackWindow, nullptr);
    const auto& series = trackWindow->findChild<PlotView*>()->series();
    ASSERT_EQ(series.size(), 2U);
    std::vector<double> xs, ys;
    for (const QPointF& p : series[0].points) xs.push_back(p.y());
    for (const QPointF& p : series[1].points) ys.push_back(p.y());
    EXPECT_EQ(xs, (std::vector<double>{0, 1, 2, -2}));
    EXPECT_EQ(ys, (std::vector<double>{0, -1, 1, 0}));

    if (const QByteArray dir = qgetenv("QTX_SCREENSHOT_DIR"); !dir.isEmpty()) {
        auto* focusWindow = window.findChild<QWidget*>("focusGraph");
        for (QWidget* w : {focusWindow, trackWindow}) w->resize(520, 320);
        QCoreApplication::processEvents();
        EXPECT_TRUE(focusWindow->grab().save(dir + "/focus_graph.png"));
        EXPECT_TRUE(trackWindow->grab().save(dir + "/track_offsets.png"));
    }
}

// While an image comes in, the rows stored so far show and the rest stays black, repainted
// at most every 100 ms; once the image is complete nothing more is painted here.
TEST(Window, PictureGrowsAsRowsCome) {
    PictureView view(1);
    GrowingPicture growing(&view);
    int paints = 0;
    QObject::connect(&growing, &GrowingPicture::painted_, [&](int) { ++paints; });
    ImageRecord r;
    r.imagedata.resize(320, 200);
    std::fill(r.imagedata.cells.begin(), r.imagedata.cells.end(), std::uint16_t{1000});
    r.range = 256;  // background 0: a pixel of 1000 is white
    growing.event(ImageStarted{0, 320, 200});
    QElapsedTimer clock;
    clock.start();
    for (int row = 1; row <= 120; ++row) growing.event(RowStored{&r, row});
    EXPECT_TRUE(pumpUntil([&] { return paints == 1; }, 1000));  // the first rows at once
    EXPECT_EQ(qRed(view.image().pixel(5, 119)), 255);
    EXPECT_EQ(qRed(view.image().pixel(5, 120)), 0);
    growing.event(RowStored{&r, 121});
    growing.event(RowStored{&r, 122});
    QCoreApplication::processEvents();
    EXPECT_EQ(paints, 1);  // not again before 100 ms
    EXPECT_TRUE(pumpUntil([&] { return paints == 2; }, 1000));
    EXPECT_GE(clock.elapsed(), 100);
    EXPECT_EQ(growing.rowsPainted(), 122);
    growing.event(RowStored{&r, 123});
    growing.event(ImageReceived{0, &r});
    EXPECT_FALSE(pumpUntil([&] { return paints == 3; }, 300));
}

// A port another program holds is named busy. Then the adapter is pulled out in the middle of
// a Download All and of an upload, as often as QTX_UNPLUG_ROUNDS says (scripts/unplug.sh runs
// it under the sanitizers): the window stays, goes idle, says what happened, and Establish
// Link starts over. At the end a termination signal switches the QTX out of remote operation.
TEST(SimWindowTest, PullingTheAdapterOutMidTransfer) {
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    TerminationWatcher watcher;
    const char* wanted = std::getenv("QTX_UNPLUG_ROUNDS");
    const int rounds = wanted ? std::max(1, std::atoi(wanted)) : 1;
    constexpr std::uint32_t kFastBaud = 2'000'000;  // a whole image well under a second, paced
    TempDir tmp;
    const std::string com1 = tmp.path("ttyUSB0");  // a stable name, as udev gives one
    std::string code(kCodeChecked + 2, 'Z');       // its CRC follows, high byte first
    const std::uint16_t crc =
        crc16(std::span(reinterpret_cast<const std::uint8_t*>(code.data()), kCodeChecked));
    TempDir::write(tmp.path("code.bin"),
                   code + static_cast<char>(crc >> 8) + static_cast<char>(crc));
    Dialogs answers;

    std::unique_ptr<sim::PtyServer> server;
    const auto plugIn = [&](std::uint32_t baud) {
        server = std::make_unique<sim::PtyServer>(sim::ModelOptions{}, sim::ServerOptions{baud});
        ASSERT_TRUE(server->start()) << server->error();
        std::filesystem::remove(com1);
        std::filesystem::create_symlink(server->slavePath(), com1);
    };
    ASSERT_NO_FATAL_FAILURE(plugIn(115200));
    auto other = std::make_unique<QSerialPort>(QString::fromStdString(com1));
    ASSERT_TRUE(other->open(QIODevice::ReadWrite));
    auto window = std::make_unique<MainWindow>(PortMap{QString::fromStdString(com1), ""});
    window->show();
    EXPECT_TRUE(status(*window).startsWith(QString::fromStdString(
        "Unable to open COM1\n" + com1 + ": busy, in use by another program")))
        << status(*window).toStdString();
    other.reset();
    const auto menu = [&](const char* name) { window->findChild<QAction*>(name)->trigger(); };
    const auto establish = [&] {
        menu("mnuestablishlink1");
        ASSERT_TRUE(pumpUntil([&] { return status(*window) == "Link Established"; }))
            << status(*window).toStdString();
    };

    for (int round = 1; round <= rounds; ++round) {
        for (const bool upload : {false, true}) {
            SCOPED_TRACE((upload ? "upload, round " : "Download All, round ") +
                         std::to_string(round));
            ASSERT_NO_FATAL_FAILURE(plugIn(upload ? 115200 : kFastBaud));
            ASSERT_NO_FATAL_FAILURE(establish());
            const std::string base = tmp.path("night" + std::to_string(round));
            answers.path = QString::fromStdString(upload ? tmp.path("code.bin") : base + ".QTX");
            menu(upload ? "mnuUploadFile" : "mnuflashdownload");
            ASSERT_TRUE(pumpUntil([&] {
                return upload ? window->console().uploadState().pagenumber >= 2
                              : std::filesystem::exists(base + "002.QTX");
            }));
            server.reset();  // pulled out

            const QString gone = QString::fromStdString(
                "COM1 (" + com1 + ") was disconnected; choose Establish Link when it is back.");
            ASSERT_TRUE(pumpUntil([&] { return status(*window) == gone; }))
                << status(*window).toStdString();
            EXPECT_EQ(std::tuple(window->isVisible(), window->host().serialPort().isOpen(),
                                 window->host().watchdogTimer().isActive()),
                      std::tuple(true, false, false));
        }
    }
    ASSERT_NO_FATAL_FAILURE(plugIn(kFastBaud));
    ASSERT_NO_FATAL_FAILURE(establish());
    const auto remote = [&] {
        bool on = false;
        server->withModel([&](sim::QtxModel& m) { on = m.remote(); });
        return on;
    };
    EXPECT_TRUE(remote());
    QObject::connect(&watcher, &TerminationWatcher::terminationRequested, window.get(),
                     &QWidget::close);
    std::raise(SIGTERM);
    EXPECT_TRUE(pumpUntil([&] { return !remote(); }));
}

}  // namespace
}  // namespace qtx::test

// The suites need a QApplication; they draw off screen unless told otherwise, also when CTest
// lists them without the test environment.
int main(int argc, char* argv[]) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

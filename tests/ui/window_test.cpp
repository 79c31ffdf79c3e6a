// The shell on screen: every menu entry reaches its command of the console, the contrast
// dialog, the picture with its probe and zoom, the progress line; and on a real descriptor a
// port another program holds and the adapter pulled out mid transfer.
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
#include <QTimer>
#include <QWheelEvent>
#include <csignal>
#include <filesystem>
#include <functional>
#include <memory>

#include "console/code_image.hpp"
#include "console/crc16.hpp"
#include "contrast_dialog.hpp"
#include "histogram_view.hpp"
#include "main_window.hpp"
#include "picture_view.hpp"
#include "pty/pty_server.hpp"
#include "temp_dir.hpp"
#include "termination.hpp"

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
        {"mnuabort", {}, [&] { return !c.reception.downloadall; }},
        {"mnu19200", {}, [&] { return c.link.baudindex == 4; }},
        {"mnu38400", {}, [&] { return c.link.baudindex == 3; }},
        {"mnu57600", {}, [&] { return c.link.baudindex == 2; }},
        {"mnu115200", {}, [&] { return c.link.baudindex == 1; }},
        {"mnuestablishlink1", {}, says("COM1 not available\n/nonexistent/com1: no such device")},
        {"mnuestablishlink2", {}, says("COM2 not available\nCOM2: no device is assigned")},
        {"mnucontrast", {"Adjust Background and Range"}},
        {"mnuautocontrast", {}, [&] { return c.record.range == 128; }},
        {"mnuflatfield", {openQtx, noFile}},
        {"mnunote", {"Input note (if desired)"}},
        {"mnufocallength", {"Input focal length in inches"}},
        {"mnuaperturedia", {"Input aperture diameter in inches"}},
        {"mnucentimeters", {}, [&] { return c.optics.unitscm; }},
        {"mnuinches", {}, [&] { return !c.optics.unitscm; }},
        {"mnuUploadFile", {noPort}},
        {"mnufits", {"No image to export"}},
        {"mnuchooseport", {"Choose Serial Port"}},
        {"mnuexit", {}, [&] { return !window.isVisible(); }},
    };
    c.link.baudindex = 0;
    c.reception.downloadall = true;
    c.record.range = 7;
    for (const auto& e : entries) {
        SCOPED_TRACE(e.name);
        Dialogs dialogs;
        window.findChild<QAction*>(e.name)->trigger();
        pumpUntil([&] { return dialogs.seen.size() >= e.dialogs.size(); }, 3000);
        EXPECT_EQ(dialogs.seen, e.dialogs);
        EXPECT_TRUE(!e.done || e.done()) << status(window).toStdString();
    }
}

// The dialog shows the console's texts, its histogram marks what the boxes hold as either
// changes, and only Done returns what was typed.
TEST(Window, ContrastDialogReturnsTextsOnlyFromDone) {
    ContrastDialog dialog;
    auto* background = dialog.findChild<QLineEdit*>("txtbackground");
    auto* range = dialog.findChild<QLineEdit*>("txtrange");
    auto* histogram = dialog.findChild<HistogramView*>("histogram");
    QString shown;
    std::vector<std::optional<ContrastMarks>> marks;
    QTimer::singleShot(0, &dialog, [&] {
        shown = background->text() + "|" + range->text() + "|";
        marks.push_back(histogram->marks());
        background->setText("-200");
        marks.push_back(histogram->marks());
        range->setText("3000");
        marks.push_back(histogram->marks());
        dialog.findChild<QPushButton*>("cmddone")->click();
    });
    const ContrastTexts typed = dialog.run({" 884", " 128"}, {});
    EXPECT_EQ(marks,
              (std::vector<std::optional<ContrastMarks>>{
                  ContrastMarks{884, 1012}, ContrastMarks{-200, -72}, ContrastMarks{-200, 2800}}));
    EXPECT_EQ(shown + QString::fromStdString(typed.background + "|" + typed.range),
              " 884| 128|-200|3000");
    QTimer::singleShot(0, &dialog, [&] { dialog.close(); });
    const ContrastTexts closed = dialog.run({" 1", " 2"}, {});
    EXPECT_EQ(closed.background + closed.range, "");
}

// The console's bits go in line by line and opaque; the pointer's buttons and keys as masks.
TEST(Window, PictureTakesBitsLineByLine) {
    PictureView view(2);
    const SurfaceGeometry g = view.geometryOfBits();
    EXPECT_EQ(std::tuple(g.bytesPerLine, g.scanLines, g.bitsPerPixel), std::tuple(1280, 200, 32));
    std::vector<std::uint8_t> bits(2 * 1280, 0x10);  // two lines, the rest stays black
    std::fill_n(bits.begin() + 1280 + 8, 4, 0x40);   // line 1, pixel 2
    view.setBits(bits);
    view.setPixel(5, 199, Colour{1, 2, 3});
    const QImage& s = view.image();
    EXPECT_EQ((std::vector{s.pixel(2, 1), s.pixel(319, 0), s.pixel(0, 2), s.pixel(5, 199)}),
              (std::vector{qRgb(64, 64, 64), qRgb(16, 16, 16), qRgb(0, 0, 0), qRgb(1, 2, 3)}));
    EXPECT_EQ((std::vector{buttonMask(Qt::LeftButton), buttonMask(Qt::RightButton),
                           buttonMask(Qt::MiddleButton), shiftMask(Qt::ShiftModifier),
                           shiftMask(Qt::ControlModifier), shiftMask(Qt::AltModifier)}),
              (std::vector{1, 2, 4, 1, 2, 4}));
}

// A 200 x 100 image sits at surface (60, 50); at 3x image pixel (12, 34) is the screen
// square 213..215 x 249..251, drawn whole and named by the probe.
TEST(Window, ShowsAnImageAndProbesItAt3x) {
    MainWindow window(PortMap{"/nonexistent/com1", ""});
    ImageRecord& r = window.console().record;
    r.imagedata.resize(200, 100);
    r.imagedata.at(12, 34) = 1530;
    r.imagedata.at(13, 34) = 7;
    r.imagewidth = 200;
    r.imageheight = 100;
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
    const QImage shown = picture->grab().toImage();
    EXPECT_EQ(shown.pixel(213, 249), shown.pixel(215, 251));
    EXPECT_NE(shown.pixel(215, 249), shown.pixel(216, 249));
    // Fit follows the window's size; the keys step back.
    wheel(120);
    window.resize(2200, 1600);
    EXPECT_TRUE(pumpUntil([&] { return picture->zoom() > 3; }, 2000)) << picture->zoom();
    window.findChild<QAction*>("zoomOut")->trigger();
    EXPECT_EQ(picture->zoom(), 3);

    auto* bar = window.findChild<QProgressBar*>();
    window.host().showProgress(Progress{Progress::Kind::Rows, 50, 200, 2, 5, 2, 7});
    QStringList labels;
    for (const QLabel* label : window.findChildren<QLabel*>()) labels << label->text();
    EXPECT_TRUE(labels.contains("Buffer 5, image 2 of 7: row 50 of 200, 2 repeated"));
    EXPECT_EQ(std::tuple(bar->isVisible(), bar->value(), bar->maximum()),
              std::tuple(true, 50, 200));
    window.host().hideProgress();
    EXPECT_FALSE(bar->isVisible());
}

// A port another program holds is named busy. Then the adapter is pulled out in the middle of
// a Download All and of an upload, as often as QTX_UNPLUG_ROUNDS says (scripts/unplug.sh runs
// it under the sanitizers): the window stays, goes idle, says what happened, and Establish
// Link starts over. At the end a download brings the QTX's image, and a termination signal
// switches the QTX out of remote operation.
TEST(SimWindowTest, PullingTheAdapterOutMidTransfer) {
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    TerminationWatcher watcher;
    const char* wanted = std::getenv("QTX_UNPLUG_ROUNDS");
    const int rounds = wanted ? std::max(1, std::atoi(wanted)) : 1;
    constexpr std::uint32_t kFastBaud = 2'000'000;  // a whole image well under a second, paced
    TempDir tmp;
    const std::string com1 = tmp.path("ttyUSB0");  // a stable name, as udev gives one
    std::string code(kCodeBytes, 'Z');
    const std::uint16_t crc =
        crc16(std::span(reinterpret_cast<const std::uint8_t*>(code.data()), kCodeChecked));
    code[kCodeBytes - 2] = static_cast<char>(crc >> 8);
    code[kCodeBytes - 1] = static_cast<char>(crc & 0xFF);
    TempDir::write(tmp.path("code.bin"), code);
    Dialogs answers;

    std::unique_ptr<sim::PtyServer> server;
    const auto plugIn = [&](std::uint32_t baud) {
        server = std::make_unique<sim::PtyServer>(sim::ModelOptions{}, sim::ServerOptions{baud});
        ASSERT_TRUE(server->start()) << server->error();
        std::filesystem::remove(com1);
        std::filesystem::create_symlink(server->slavePath(), com1);
    };
    ASSERT_NO_FATAL_FAILURE(plugIn(kFastBaud));
    auto other = std::make_unique<QSerialPort>(QString::fromStdString(com1));
    ASSERT_TRUE(other->open(QIODevice::ReadWrite));
    auto window = std::make_unique<MainWindow>(PortMap{QString::fromStdString(com1), ""});
    window->show();
    EXPECT_TRUE(status(*window).startsWith(QString::fromStdString(
        "Unable to open COM1\n" + com1 + ": busy, in use by another program")))
        << status(*window).toStdString();
    other.reset();
    Console& console = window->console();
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
            if (round > 1 || upload) ASSERT_NO_FATAL_FAILURE(plugIn(upload ? 115200 : kFastBaud));
            ASSERT_NO_FATAL_FAILURE(establish());
            const std::string base = tmp.path("night" + std::to_string(round));
            answers.path = QString::fromStdString(upload ? tmp.path("code.bin") : base + ".QTX");
            menu(upload ? "mnuUploadFile" : "mnuflashdownload");
            ASSERT_TRUE(pumpUntil([&] {
                return upload ? console.upload.pagenumber >= 2
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
    console.reception.imagecomplete = false;
    menu("mnudownloadlight");
    ASSERT_TRUE(pumpUntil([&] { return console.reception.imagecomplete; }, 10000));
    sim::ImageBuffer screen;
    bool remote = false;
    const auto look = [&] {  // the QTX's screen image, and whether it is in remote operation
        server->withModel([&](sim::QtxModel& m) {
            screen = m.buffer(sim::kScreenBuffer);
            remote = m.remote();
        });
    };
    look();
    EXPECT_EQ(std::tuple(console.record.imagewidth, console.record.imageheight, remote),
              std::tuple(screen.header.width, screen.header.height, true));
    EXPECT_EQ(console.record.imagedata.cells, screen.pixels);
    QObject::connect(&watcher, &TerminationWatcher::terminationRequested, window.get(),
                     &QWidget::close);
    std::raise(SIGTERM);
    EXPECT_TRUE(pumpUntil([&] { return look(), !remote; }));
}

}  // namespace
}  // namespace qtx::test

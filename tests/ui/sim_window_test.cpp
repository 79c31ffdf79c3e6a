// The real main window working the simulated QTX: COM1 is the pseudo-terminal of a server
// that runs the device model on its own thread, paced like a serial line.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "console/code_image.hpp"
#include "console/crc16.hpp"
#include "files/kelm.hpp"
#include "image/render.hpp"
#include "main_window.hpp"
#include "model/qtx_model.hpp"
#include "picture_view.hpp"
#include "pty/pty_server.hpp"
#include "temp_dir.hpp"
#include "ui_support.hpp"

#include <cstdlib>
#include <filesystem>

namespace qtx::test {
namespace {

using sim::ImageBuffer;
using sim::QtxModel;

// Fast enough that a whole image takes well under a second; the line is still paced.
constexpr std::uint32_t kFastBaud = 2'000'000;

class SimWindowTest : public ::testing::Test {
  protected:
    void start(std::uint32_t baud) {
        sim::ServerOptions options;
        options.baud = baud;
        server = std::make_unique<sim::PtyServer>(sim::ModelOptions{}, options);
        ASSERT_TRUE(server->start()) << server->error();
        window = std::make_unique<MainWindow>(
            PortMap{QString::fromStdString(server->slavePath()), QStringLiteral("/nonexistent")});
        window->show();
    }

    void startLinked(std::uint32_t baud = kFastBaud) {
        ASSERT_NO_FATAL_FAILURE(start(baud));
        ASSERT_TRUE(pumpUntil([&] { return text("PCtext") == "Link Established"; }))
            << text("PCtext").toStdString();
        ASSERT_TRUE(pumpUntil([&] { return text("QTXText") == mirrored(); }));
    }

    template <class T>
    T model(const std::function<T(QtxModel&)>& look) {
        T value{};
        server->withModel([&](QtxModel& m) { value = look(m); });
        return value;
    }
    // The model's display as the window shows it: one line break between the lines.
    QString mirrored() {
        return QString::fromStdString(model<std::string>(
            [](QtxModel& m) { return m.displayLine(0) + "\n" + m.displayLine(1); }));
    }
    ImageBuffer buffer(int n) {
        return model<ImageBuffer>([n](QtxModel& m) { return m.buffer(n); });
    }

    QString text(const char* box) const {
        return window->findChild<QPlainTextEdit*>(QString::fromLatin1(box))->toPlainText();
    }
    QProgressBar* progress() const { return window->findChild<QProgressBar*>(); }
    const QImage& surface() const {
        return window->findChild<PictureView*>(QStringLiteral("Picdata"))->image();
    }

    void click(const char* name) {
        window->findChild<QAbstractButton*>(QString::fromLatin1(name))->click();
    }
    // Clicks a key and waits until the QTX has acknowledged it and its new display shows.
    void press(const char* name) {
        click(name);
        EXPECT_EQ(text("PCtext"), "Keypress not acknowledged") << name;
        EXPECT_TRUE(pumpUntil([&] {
            return text("PCtext") == "Keypress acknowledged" && text("QTXText") == mirrored();
        })) << name
            << ": " << text("PCtext").toStdString() << " / " << text("QTXText").toStdString();
    }

    // Display mode: the arrows choose buffer n, Value puts it on the screen (buffer 31) and
    // offers it, and the console takes the offer (the acknowledgement may pass unseen).
    void showOnScreen(int n) {
        press("cmddisplay");
        for (int i = 0; i < n; ++i) press("cmdup");
        console().reception.imagecomplete = false;
        click("cmdvalue");
    }

    bool awaitImage(int timeoutMs = 10000) {
        return pumpUntil([&] { return console().reception.imagecomplete; }, timeoutMs);
    }

    Console& console() { return window->console(); }

    std::unique_ptr<sim::PtyServer> server;
    std::unique_ptr<MainWindow> window;  // goes first: it switches remote off on the server
};

// The console holds exactly the buffer's pixels, and the picture surface shows them: every
// surface pixel is the grey level of the pixel under it, black where the image is not.
void expectShown(Console& console, const QImage& surface, const ImageBuffer& b) {
    const ImageRecord& r = console.record;
    ASSERT_EQ(r.imagewidth, b.header.width);
    ASSERT_EQ(r.imageheight, b.header.height);
    EXPECT_EQ(r.imagedata.cells, b.pixels);

    EXPECT_EQ(r.background, b.header.background);
    EXPECT_EQ(r.range, b.header.range);
    const int x0 = (PictureView::kWidth - b.header.width) / 2;
    const int y0 = (PictureView::kHeight - b.header.height) / 2;
    EXPECT_EQ(r.xoffset, x0);
    EXPECT_EQ(r.yoffset, y0);

    ASSERT_EQ(surface.size(), QSize(PictureView::kWidth, PictureView::kHeight));
    ASSERT_EQ(surface.format(), QImage::Format_RGB32);
    const float step = levelStep(b.header.range);
    int wrong = 0;
    for (int y = 0; y < surface.height(); ++y) {
        for (int x = 0; x < surface.width(); ++x) {
            const int col = x - x0;
            const int row = y - y0;
            const bool inside =
                col >= 0 && row >= 0 && col < b.header.width && row < b.header.height;
            const int g = inside ? greyLevel(b.row(row)[static_cast<std::size_t>(col)],
                                             b.header.background, step)
                                 : 0;
            if (surface.pixel(x, y) != qRgb(g, g, g) && ++wrong <= 5) {
                ADD_FAILURE() << "surface pixel (" << x << ", " << y << ") is " << std::hex
                              << surface.pixel(x, y) << ", wanted grey " << std::dec << g;
            }
        }
    }
    EXPECT_EQ(wrong, 0);
}

TEST_F(SimWindowTest, OfferedImageArrivesAndIsShown) {
    ASSERT_NO_FATAL_FAILURE(startLinked());
    click("cmdimage");
    ASSERT_TRUE(awaitImage()) << text("PCtext").toStdString();
    const ImageBuffer screen = buffer(sim::kScreenBuffer);
    ASSERT_EQ(screen.header.width, 320);
    expectShown(console(), surface(), screen);
    EXPECT_TRUE(text("headertxt").startsWith("QTX Image\n")) << text("headertxt").toStdString();
    EXPECT_TRUE(progress()->isHidden());
}

TEST_F(SimWindowTest, UploadedCodeRunsAndRemoteComesBackOnTheTimer) {
    ASSERT_NO_FATAL_FAILURE(startLinked());
    // A code image with its CRC, chosen in Qt's own file dialog (a native one could not be
    // answered from here).
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    Bytes image(kCodeBytes);
    for (std::size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<std::uint8_t>(i * 13 + (i >> 9));
    }
    const std::uint16_t crc = crc16(std::span(image).first(kCodeChecked));
    image[kCodeBytes - 2] = static_cast<std::uint8_t>(crc >> 8);
    image[kCodeBytes - 1] = static_cast<std::uint8_t>(crc & 0xFF);
    const QString path =
        QDir(QString::fromStdString(::testing::TempDir())).filePath("window_code.bin");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char*>(image.data()), static_cast<qint64>(image.size()));
    file.close();
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            answer.stop();
            d->selectFile(path);
            QMetaObject::invokeMethod(d, "accept", Qt::QueuedConnection);
        }
    });
    answer.start(1);
    window->findChild<QAction*>(QStringLiteral("mnuUploadFile"))->trigger();
    ASSERT_TRUE(pumpUntil([&] { return progress()->isVisible(); }));

    const QString success = QStringLiteral("Code succesfully uploaded - QTX restarting");
    ASSERT_TRUE(pumpUntil([&] { return text("PCtext") == success; }, 10000))
        << text("PCtext").toStdString();
    EXPECT_TRUE(progress()->isHidden());
    EXPECT_TRUE(model<bool>([&](QtxModel& m) { return m.code().code() == image; }));
    // The QTX restarted out of remote operation; the console switches it back after 2 s.
    EXPECT_FALSE(model<bool>([](QtxModel& m) { return m.remote(); }));
    EXPECT_TRUE(
        pumpUntil([&] { return model<bool>([](QtxModel& m) { return m.remote(); }); }, 4000));
    QFile::remove(path);
}

// Answers whatever modal dialog comes up: a file dialog with the given path, a message box
// with OK.
class DialogAnswers {
  public:
    DialogAnswers() {
        QObject::connect(&poll, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* d = qobject_cast<QFileDialog*>(modal)) {
                d->selectFile(path);
                QMetaObject::invokeMethod(d, "accept", Qt::QueuedConnection);
            } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                QMetaObject::invokeMethod(box, "accept", Qt::QueuedConnection);
            }
        });
        poll.start(5);
    }
    QString path;

  private:
    QTimer poll;
};

// Every image file left behind is whole: it reads back completely.
void expectOnlyWholeFiles(const std::string& folder) {
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() != ".QTX") continue;
        const Bytes file = TempDir::read(entry.path().string());
        const KelmHeader header = parseHeader(file);
        ASSERT_EQ(header.failure, "") << entry.path();
        PixelArray pixels;
        pixels.resize(header.imagewidth.value_or(0), header.imageheight.value_or(0));
        EXPECT_EQ(readPixelBlock(file, header.compressed, pixels), "") << entry.path();
    }
}

// The adapter pulled out in the middle of a Download All and of an upload, as often as
// QTX_UNPLUG_ROUNDS says (scripts/unplug.sh runs it 20 times under the sanitizers): the
// window stays, goes idle, says what happened, and Establish Link starts over.
TEST_F(SimWindowTest, PullingTheAdapterOutMidTransfer) {
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    const char* wanted = std::getenv("QTX_UNPLUG_ROUNDS");
    const int rounds = wanted ? std::max(1, std::atoi(wanted)) : 1;
    TempDir tmp;
    const std::string com1 = tmp.path("ttyUSB0");  // a stable name, as udev gives one
    Bytes code(kCodeBytes, 0x5A);
    const std::uint16_t crc = crc16(std::span(code).first(kCodeChecked));
    code[kCodeBytes - 2] = static_cast<std::uint8_t>(crc >> 8);
    code[kCodeBytes - 1] = static_cast<std::uint8_t>(crc & 0xFF);
    TempDir::write(tmp.path("code.bin"), std::string(code.begin(), code.end()));
    DialogAnswers answers;

    const auto plugIn = [&](std::uint32_t baud) {
        sim::ServerOptions options;
        options.baud = baud;
        server = std::make_unique<sim::PtyServer>(sim::ModelOptions{}, options);
        ASSERT_TRUE(server->start()) << server->error();
        std::filesystem::remove(com1);
        std::filesystem::create_symlink(server->slavePath(), com1);
    };
    ASSERT_NO_FATAL_FAILURE(plugIn(kFastBaud));
    window = std::make_unique<MainWindow>(PortMap{QString::fromStdString(com1), QString()});
    window->show();

    for (int round = 1; round <= rounds; ++round) {
        for (const bool upload : {false, true}) {
            SCOPED_TRACE((upload ? "upload, round " : "Download All, round ") + std::to_string(round));
            if (round > 1 || upload) {
                ASSERT_NO_FATAL_FAILURE(plugIn(upload ? 115200 : kFastBaud));
                window->findChild<QAction*>(QStringLiteral("mnuestablishlink1"))->trigger();
            }
            ASSERT_TRUE(pumpUntil([&] { return text("PCtext") == "Link Established"; }))
                << text("PCtext").toStdString();
            const std::string base = tmp.path("night" + std::to_string(round));
            if (upload) {
                answers.path = QString::fromStdString(tmp.path("code.bin"));
                window->findChild<QAction*>(QStringLiteral("mnuUploadFile"))->trigger();
                ASSERT_TRUE(pumpUntil([&] { return console().upload.pagenumber >= 2; }));
            } else {
                answers.path = QString::fromStdString(base + ".QTX");
                window->findChild<QAction*>(QStringLiteral("mnuflashdownload"))->trigger();
                ASSERT_TRUE(pumpUntil([&] { return std::filesystem::exists(base + "002.QTX"); }));
            }
            server.reset();  // pulled out

            ASSERT_TRUE(pumpUntil([&] { return text("PCtext").contains("was disconnected"); }))
                << text("PCtext").toStdString();
            EXPECT_TRUE(window->isVisible());
            EXPECT_FALSE(console().link.portopen);
            // Idle within the time a user would wait: no timer, no descriptor keeps it busy.
            pumpUntil([] { return false; }, 200);
            const double before = processCpuSeconds();
            pumpUntil([] { return false; }, 1000);
            EXPECT_LT(processCpuSeconds() - before, 0.3);
            EXPECT_FALSE(window->host().watchdogTimer().isActive());
            ASSERT_NO_FATAL_FAILURE(expectOnlyWholeFiles(tmp.path("")));
        }
    }
    // Plugged in again, a download works from the start.
    ASSERT_NO_FATAL_FAILURE(plugIn(kFastBaud));
    window->findChild<QAction*>(QStringLiteral("mnuestablishlink1"))->trigger();
    ASSERT_TRUE(pumpUntil([&] { return text("PCtext") == "Link Established"; }));
    console().reception.imagecomplete = false;
    window->findChild<QAction*>(QStringLiteral("mnudownloadlight"))->trigger();
    ASSERT_TRUE(awaitImage());
    expectShown(console(), surface(), buffer(31));
}

}  // namespace
}  // namespace qtx::test

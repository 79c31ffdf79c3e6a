// The real window on a real descriptor: opening the port, the last words to the QTX however
// the window ends, and the adapter pulled out mid transfer.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QPlainTextEdit>
#include <QSerialPort>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "console/code_image.hpp"
#include "console/crc16.hpp"
#include "files/kelm.hpp"
#include "main_window.hpp"
#include "pty/pty_server.hpp"
#include "temp_dir.hpp"
#include "termination.hpp"
#include "test_frames.hpp"
#include "ui_support.hpp"

namespace qtx::test {
namespace {

QString text(MainWindow& window, const char* box) {
    return window.findChild<QPlainTextEdit*>(QString::fromLatin1(box))->toPlainText();
}

// A device another program holds, as QSerialPort refuses it on a real descriptor (the
// menu table covers a missing device).
TEST(PortTest, ADeviceInUseIsNamedBusy) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    const QString held = QString::fromStdString(pty.path());
    QSerialPort other(held);
    ASSERT_TRUE(other.open(QIODevice::ReadWrite));
    MainWindow window(PortMap{held, "/nonexistent/ttyQTX2"});
    EXPECT_FALSE(window.console().link.portopen);
    EXPECT_TRUE(
        text(window, "PCtext")
            .startsWith(
                "Unable to open COM1\n" + held +
                ": busy, in use by another program; close that program and choose Establish Link."))
        << text(window, "PCtext").toStdString();
}

// Exit, the window's close button or a termination signal: the QTX hears remote off once.
TEST(PortTest, RemoteOffIsSentOnceHoweverTheWindowEnds) {
    TerminationWatcher watcher;
    const std::function<void(MainWindow&)> ends[] = {
        [](MainWindow& w) { w.findChild<QAction*>("mnuexit")->trigger(); },
        [](MainWindow& w) { w.close(); },
        [](MainWindow&) { std::raise(SIGTERM); },
    };
    for (const auto& end : ends) {
        Pty pty;
        ASSERT_TRUE(pty.ok());
        auto window =
            std::make_unique<MainWindow>(PortMap{QString::fromStdString(pty.path()), QString()});
        window->show();
        const auto connection = QObject::connect(
            &watcher, &TerminationWatcher::terminationRequested, window.get(), &QWidget::close);
        EXPECT_EQ(pty.next(10), kRemoteOn);
        end(*window);
        EXPECT_EQ(pty.next(10), kRemoteOff);
        EXPECT_FALSE(window->isVisible());
        EXPECT_FALSE(window->host().serialPort().isOpen());
        QObject::disconnect(connection);
        window->close();
        window.reset();
        EXPECT_TRUE(pty.next(SIZE_MAX, 100).empty());
    }
}

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
// window stays, goes idle, says what happened, and Establish Link starts over; then the
// console holds one image as the QTX holds it. (bench/pty_bench measures the idle window.)
TEST(SimWindowTest, PullingTheAdapterOutMidTransfer) {
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    const char* wanted = std::getenv("QTX_UNPLUG_ROUNDS");
    const int rounds = wanted ? std::max(1, std::atoi(wanted)) : 1;
    constexpr std::uint32_t kFastBaud = 2'000'000;  // a whole image well under a second, paced
    TempDir tmp;
    const std::string com1 = tmp.path("ttyUSB0");  // a stable name, as udev gives one
    Bytes code(kCodeBytes, 0x5A);
    const std::uint16_t crc = crc16(std::span(code).first(kCodeChecked));
    code[kCodeBytes - 2] = static_cast<std::uint8_t>(crc >> 8);
    code[kCodeBytes - 1] = static_cast<std::uint8_t>(crc & 0xFF);
    TempDir::write(tmp.path("code.bin"), std::string(code.begin(), code.end()));
    Dialogs answers;

    std::unique_ptr<sim::PtyServer> server;
    const auto plugIn = [&](std::uint32_t baud) {
        sim::ServerOptions options;
        options.baud = baud;
        server = std::make_unique<sim::PtyServer>(sim::ModelOptions{}, options);
        ASSERT_TRUE(server->start()) << server->error();
        std::filesystem::remove(com1);
        std::filesystem::create_symlink(server->slavePath(), com1);
    };
    ASSERT_NO_FATAL_FAILURE(plugIn(kFastBaud));
    // The window goes first: it switches remote off on the server.
    auto window = std::make_unique<MainWindow>(PortMap{QString::fromStdString(com1), QString()});
    window->show();
    Console& console = window->console();
    const auto establish = [&](bool again) {
        if (again) window->findChild<QAction*>(QStringLiteral("mnuestablishlink1"))->trigger();
        ASSERT_TRUE(pumpUntil([&] { return text(*window, "PCtext") == "Link Established"; }))
            << text(*window, "PCtext").toStdString();
    };

    for (int round = 1; round <= rounds; ++round) {
        for (const bool upload : {false, true}) {
            SCOPED_TRACE((upload ? "upload, round " : "Download All, round ") +
                         std::to_string(round));
            if (round > 1 || upload) {
                ASSERT_NO_FATAL_FAILURE(plugIn(upload ? 115200 : kFastBaud));
            }
            ASSERT_NO_FATAL_FAILURE(establish(round > 1 || upload));
            const std::string base = tmp.path("night" + std::to_string(round));
            if (upload) {
                answers.path = QString::fromStdString(tmp.path("code.bin"));
                window->findChild<QAction*>(QStringLiteral("mnuUploadFile"))->trigger();
                ASSERT_TRUE(pumpUntil([&] { return console.upload.pagenumber >= 2; }));
            } else {
                answers.path = QString::fromStdString(base + ".QTX");
                window->findChild<QAction*>(QStringLiteral("mnuflashdownload"))->trigger();
                ASSERT_TRUE(pumpUntil([&] { return std::filesystem::exists(base + "002.QTX"); }));
            }
            server.reset();  // pulled out

            const QString gone = QString::fromStdString(
                "COM1 (" + com1 + ") was disconnected; choose Establish Link when it is back.");
            ASSERT_TRUE(pumpUntil([&] { return text(*window, "PCtext") == gone; }))
                << text(*window, "PCtext").toStdString();
            EXPECT_TRUE(window->isVisible());
            EXPECT_FALSE(console.link.portopen);
            EXPECT_FALSE(window->host().serialPort().isOpen());
            EXPECT_FALSE(window->host().watchdogTimer().isActive());
            ASSERT_NO_FATAL_FAILURE(expectOnlyWholeFiles(tmp.path("")));
        }
    }
    // Plugged in again, a download works from the start and the window shows the image.
    ASSERT_NO_FATAL_FAILURE(plugIn(kFastBaud));
    ASSERT_NO_FATAL_FAILURE(establish(true));
    console.reception.imagecomplete = false;
    window->findChild<QAction*>(QStringLiteral("mnudownloadlight"))->trigger();
    ASSERT_TRUE(pumpUntil([&] { return console.reception.imagecomplete; }, 10000));
    sim::ImageBuffer screen;
    server->withModel([&](sim::QtxModel& m) { screen = m.buffer(sim::kScreenBuffer); });
    EXPECT_EQ(console.record.imagewidth, screen.header.width);
    EXPECT_EQ(console.record.imageheight, screen.header.height);
    EXPECT_EQ(console.record.imagedata.cells, screen.pixels);
    window.reset();
}

}  // namespace
}  // namespace qtx::test

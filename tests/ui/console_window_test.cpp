// The real main window on a pseudo-terminal that stands in for the QTX.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QPlainTextEdit>
#include <QSerialPort>
#include <QTemporaryDir>
#include <csignal>
#include <cstdio>
#include <random>
#include <memory>

#include "main_window.hpp"
#include "termination.hpp"
#include "ui_support.hpp"

namespace qtx::test {
namespace {

const Bytes kRemoteOn{0xA5, 0x09, 0x02, 0x00, 0xB0, 0x00, 0x01, 0x00, 0x01, 0x00};
const Bytes kRemoteOff{0xA5, 0x09, 0x02, 0x00, 0xB0, 0x00, 0x00, 0x00, 0x00, 0x00};
const Bytes kKeyUp{0xA5, 0x08, 0x02, 0x00, 0xAF, 0x00, 0x00, 0x20, 0x20, 0x00};
const Bytes kKeyUpTurbo{0xA5, 0x08, 0x02, 0x00, 0xAF, 0x00, 0x08, 0x20, 0x28, 0x00};
const Bytes kKeyTurboOn{0xA5, 0x08, 0x02, 0x00, 0xAF, 0x00, 0x08, 0x00, 0x08, 0x00};
const Bytes kKeyTurboOff{0xA5, 0x08, 0x02, 0x00, 0xAF, 0x00, 0x00, 0x00, 0x00, 0x00};

// MSG_DISPLAY with its 48 characters: "Guide Star  Found  12:04" and "Exposure  0.50 s  T -5C ".
Bytes displayFrame() {
    Bytes frame{0xA5, 0x09, 0x30, 0x00, 0xDE, 0x00};
    const std::string lines = "Guide Star  Found  12:04Exposure  0.50 s  T -5C ";
    frame.insert(frame.end(), lines.begin(), lines.end());
    frame.insert(frame.end(), {0x8F, 0x0D});
    return frame;
}

class ConsoleWindowTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(pty.ok()); }

    void open(const QString& com1, const QString& com2 = QStringLiteral("/nonexistent/ttyQTX2")) {
        window = std::make_unique<MainWindow>(PortMap{com1, com2});
        window->show();
    }
    void openOnPty() { open(QString::fromStdString(pty.path())); }

    QString text(const char* box) const {
        return window->findChild<QPlainTextEdit*>(QString::fromLatin1(box))->toPlainText();
    }
    QAbstractButton* button(const char* name) const {
        return window->findChild<QAbstractButton*>(QString::fromLatin1(name));
    }
    QAction* action(const char* name) const {
        return window->findChild<QAction*>(QString::fromLatin1(name));
    }
    QColor turboFace() const {
        QAbstractButton* turbo = button("cmdturbo");
        const QImage face = turbo->grab().toImage();
        return face.pixelColor(face.width() / 2, face.height() / 4);
    }

    Pty pty;
    std::unique_ptr<MainWindow> window;
};

TEST_F(ConsoleWindowTest, WorksTheQtxFromTheKeypad) {
    openOnPty();
    EXPECT_EQ(pty.next(10), kRemoteOn);
    EXPECT_EQ(text("PCtext"), "Link not established!");

    ASSERT_TRUE(pty.send(displayFrame()));
    EXPECT_TRUE(pumpUntil([&] { return text("QTXText").startsWith("Guide"); }));
    EXPECT_EQ(text("QTXText"), "Guide Star  Found  12:04\nExposure  0.50 s  T -5C ");
    EXPECT_EQ(text("PCtext"), "Link Established");

    button("cmdup")->click();
    EXPECT_EQ(pty.next(10), kKeyUp);
    EXPECT_EQ(text("PCtext"), "Keypress not acknowledged");
    ASSERT_TRUE(pty.send({0xA5, 0x06, 0x00, 0x00, 0xAB, 0x00}));
    EXPECT_TRUE(pumpUntil([&] { return text("PCtext") == "Keypress acknowledged"; }));

    EXPECT_EQ(turboFace(), QColor(255, 0, 0));
    button("cmdturbo")->click();
    EXPECT_EQ(pty.next(10), kKeyTurboOn);
    EXPECT_EQ(turboFace(), QColor(0, 255, 0));
    button("cmdup")->click();
    EXPECT_EQ(pty.next(10), kKeyUpTurbo);
    button("cmdturbo")->click();
    EXPECT_EQ(pty.next(10), kKeyTurboOff);
    EXPECT_EQ(turboFace(), QColor(255, 0, 0));
    button("cmdup")->click();
    EXPECT_EQ(pty.next(10), kKeyUp);

    window->close();
    EXPECT_EQ(pty.next(10), kRemoteOff);
    EXPECT_FALSE(window->host().serialPort().isOpen());
    // However the window goes afterwards, the QTX is told only once.
    window.reset();
    EXPECT_TRUE(pty.rest(100).empty());
}

TEST_F(ConsoleWindowTest, ExitSwitchesRemoteOffOnce) {
    openOnPty();
    EXPECT_EQ(pty.next(10), kRemoteOn);
    action("mnuexit")->trigger();
    EXPECT_EQ(pty.next(10), kRemoteOff);
    EXPECT_FALSE(window->isVisible());
    window->close();
    window.reset();
    EXPECT_TRUE(pty.rest(100).empty());
}

TEST_F(ConsoleWindowTest, TerminationSignalClosesTheLink) {
    TerminationWatcher watcher;
    openOnPty();
    QObject::connect(&watcher, &TerminationWatcher::terminationRequested, window.get(),
                     &QWidget::close);
    EXPECT_EQ(pty.next(10), kRemoteOn);
    ASSERT_EQ(std::raise(SIGTERM), 0);
    EXPECT_EQ(pty.next(10), kRemoteOff);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(ConsoleWindowTest, LosingTheDeviceLeavesAnIdleWindowThatCanReconnect) {
    // COM1 is a link that can be pointed at a new device, as udev does for an adapter that
    // comes back under a stable name.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString com1 = dir.filePath(QStringLiteral("ttyQTX"));
    ASSERT_TRUE(QFile::link(QString::fromStdString(pty.path()), com1));
    open(com1);
    EXPECT_EQ(pty.next(10), kRemoteOn);
    ASSERT_TRUE(pty.send(displayFrame()));
    ASSERT_TRUE(pumpUntil([&] { return text("PCtext") == "Link Established"; }));

    pty.closeMaster();
    ASSERT_TRUE(pumpUntil([&] { return !window->console().link.portopen; }));
    EXPECT_FALSE(window->host().serialPort().isOpen());
    EXPECT_EQ(text("PCtext"), QStringLiteral("COM1 (%1) was disconnected; choose Establish Link "
                                             "when it is back.")
                                  .arg(com1));
    EXPECT_TRUE(window->isVisible());

    // A descriptor left hung up would wake the event loop without end.
    const double before = processCpuSeconds();
    QEventLoop idle;
    QTimer::singleShot(1000, &idle, &QEventLoop::quit);
    idle.exec();
    EXPECT_LT(processCpuSeconds() - before, 0.3);

    Pty again;
    ASSERT_TRUE(again.ok());
    ASSERT_TRUE(QFile::remove(com1));
    ASSERT_TRUE(QFile::link(QString::fromStdString(again.path()), com1));
    action("mnuestablishlink1")->trigger();
    EXPECT_TRUE(window->console().link.portopen);
    EXPECT_EQ(again.next(10), kRemoteOn);
    EXPECT_EQ(text("PCtext"), "Link not established");
    ASSERT_TRUE(again.send(displayFrame()));
    EXPECT_TRUE(pumpUntil([&] { return text("PCtext") == "Link Established"; }));
}

TEST_F(ConsoleWindowTest, MissingDeviceIsNamedWithItsReason) {
    open(QStringLiteral("/nonexistent/ttyQTX1"));
    EXPECT_FALSE(window->console().link.portopen);
    const QStringList lines = text("PCtext").split(u'\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], "Unable to open COM1");
    EXPECT_TRUE(lines[1].startsWith("/nonexistent/ttyQTX1: no such device"))
        << lines[1].toStdString();

    // The window stays usable: the menu tries the other port and says why it failed too.
    action("mnuestablishlink2")->trigger();
    EXPECT_TRUE(
        text("PCtext").startsWith("COM2 not available\n/nonexistent/ttyQTX2: no such device"));
    EXPECT_TRUE(window->isVisible());
}

TEST_F(ConsoleWindowTest, PortHeldByAnotherProgramIsCalledBusy) {
    QSerialPort other(QString::fromStdString(pty.path()));
    ASSERT_TRUE(other.open(QIODevice::ReadWrite));
    openOnPty();
    EXPECT_FALSE(window->console().link.portopen);
    EXPECT_EQ(text("PCtext"),
              QStringLiteral("Unable to open COM1\n%1: busy, in use by another program; close that "
                             "program and choose Establish Link.")
                  .arg(QString::fromStdString(pty.path())));
}

// Ten megabytes of noise at the port: the window keeps answering, nothing grows, and the
// link works again afterwards. The worst pause of the event loop is printed, not asserted.
TEST_F(ConsoleWindowTest, NoiseAtThePortIsSurvived) {
    openOnPty();
    EXPECT_EQ(pty.next(10), kRemoteOn);
    std::mt19937 noise(7);
    Bytes chunk(4096);
    QElapsedTimer clock;
    clock.start();
    qint64 lastBeat = 0;
    qint64 worstPause = 0;
    QTimer beat;
    QObject::connect(&beat, &QTimer::timeout, [&] {
        worstPause = std::max(worstPause, clock.elapsed() - lastBeat);
        lastBeat = clock.elapsed();
    });
    beat.start(10);
    constexpr std::size_t kNoiseBytes = 10 * 1024 * 1024;
    std::size_t sent = 0;
    while (sent < kNoiseBytes) {
        for (auto& b : chunk) b = static_cast<std::uint8_t>(noise());
        std::size_t at = 0;
        while (at < chunk.size()) {
            at += pty.offer(Bytes(chunk.begin() + static_cast<std::ptrdiff_t>(at), chunk.end()));
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            pty.collect();  // what the console answers to frames the noise happened to hold
        }
        sent += chunk.size();
        ASSERT_LT(clock.elapsed(), 120000) << "the console stopped taking bytes";
    }
    pumpUntil([] { return false; }, 100);
    std::printf("10 MB of noise in %lld ms, worst event-loop pause %lld ms\n",
                static_cast<long long>(clock.elapsed()), static_cast<long long>(worstPause));
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->console().link.portopen) << text("PCtext").toStdString();
    EXPECT_LE(window->console().link.rxcount, 1024);

    action("mnuestablishlink1")->trigger();
    pty.rest(50);
    ASSERT_TRUE(pty.send(displayFrame()));
    EXPECT_TRUE(pumpUntil([&] { return text("PCtext") == "Link Established"; }))
        << text("PCtext").toStdString();
    button("cmdup")->click();
    EXPECT_EQ(pty.next(10), kKeyUp);
    ASSERT_TRUE(pty.send({0xA5, 0x06, 0x00, 0x00, 0xAB, 0x00}));
    EXPECT_TRUE(pumpUntil([&] { return text("PCtext") == "Keypress acknowledged"; }));
}

}  // namespace
}  // namespace qtx::test

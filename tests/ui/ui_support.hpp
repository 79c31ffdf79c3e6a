// Helpers of the shell's suites: a pseudo-terminal standing in for the QTX, and bounded
// waits that keep the Qt event loop running.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QTimer>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace qtx::test {

using Bytes = std::vector<std::uint8_t>;

// Runs the event loop until done() holds or timeoutMs pass; true when done() held. The
// loop sleeps between events, woken every few milliseconds to look again.
template <class Done>
bool pumpUntil(Done done, int timeoutMs = 5000) {
    QTimer wake;
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
// `path` (cancelled when empty), a message box with OK; anything else is closed.
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
            } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                seen << box->text();
                QMetaObject::invokeMethod(box, "accept", Qt::QueuedConnection);
            } else if (auto* input = qobject_cast<QInputDialog*>(modal)) {
                seen << input->labelText();
                QMetaObject::invokeMethod(input, "reject", Qt::QueuedConnection);
            } else if (modal && modal->isVisible()) {
                seen << modal->windowTitle();
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

// The test's end of a pseudo-terminal; the console opens the other end as its COM port.
class Pty {
  public:
    Pty() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return;
        if (const char* name = ::ptsname(master)) slavePath = name;
        termios raw{};
        ::tcgetattr(master, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(master, TCSANOW, &raw);
    }
    ~Pty() {
        if (master >= 0) ::close(master);
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    bool ok() const { return master >= 0 && !slavePath.empty(); }
    const std::string& path() const { return slavePath; }

    // Up to `count` bytes the console writes, waiting for them with the event loop running;
    // fewer when they do not come within the time.
    Bytes next(std::size_t count, int timeoutMs = 5000) {
        pumpUntil(
            [&] {
                std::uint8_t chunk[512];
                for (ssize_t n; (n = ::read(master, chunk, sizeof chunk)) > 0;) {
                    received.insert(received.end(), chunk, chunk + n);
                }
                return received.size() >= count;
            },
            timeoutMs);
        const auto end =
            received.begin() + static_cast<std::ptrdiff_t>(std::min(count, received.size()));
        Bytes out(received.begin(), end);
        received.erase(received.begin(), end);
        return out;
    }

  private:
    int master = -1;
    std::string slavePath;
    Bytes received;
};

}  // namespace qtx::test

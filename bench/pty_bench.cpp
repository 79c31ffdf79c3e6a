// Two measurements on real pseudo-terminals, printed, not judged:
//   pacing  the simulated QTX's output against the time its bytes need on the wire, at each
//           line speed (it should never be faster than the line: ratio >= 1);
//   idle    the processor time the real window uses in the second after its adapter was
//           pulled out (a descriptor left hung up would keep waking it);
//   noise   10 MB of random bytes (seed 7) at the real window's port as fast as it takes
//           them: the time, the event loop's worst pause, and whether the link still works.
//   bench_pty
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPlainTextEdit>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <random>

#include "main_window.hpp"
#include "model/qtx_model.hpp"
#include "pty/pty_server.hpp"

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

Bytes rowRequest(unsigned row) {
    const Bytes payload{static_cast<std::uint8_t>(row), 0, 0, 0, 0x40, 0x01, 0, 0};
    Bytes f{0xA5, 0x07, 0x08, 0x00};
    const unsigned h = 0xA5 + 0x07 + 0x08;
    f.insert(f.end(), {static_cast<std::uint8_t>(h & 0xFF), static_cast<std::uint8_t>(h >> 8)});
    unsigned p = 0;
    for (std::uint8_t b : payload) p += b;
    f.insert(f.end(), payload.begin(), payload.end());
    f.insert(f.end(), {static_cast<std::uint8_t>(p & 0xFF), static_cast<std::uint8_t>(p >> 8)});
    return f;
}

// Row requests of the full frame in buffer 0 until at least 2000 bytes are due; the seconds
// until they all came, and the bytes.
std::pair<double, std::size_t> pacing(std::uint32_t baud) {
    Bytes requests;
    qtx::sim::QtxModel reference;
    std::size_t expected = 0;
    for (unsigned row = 0; expected < 2000; ++row) {
        const Bytes r = rowRequest(row);
        requests.insert(requests.end(), r.begin(), r.end());
        reference.receive(r);
        expected += reference.takeOutput().size();
    }
    qtx::sim::ServerOptions options;
    options.baud = baud;
    qtx::sim::PtyServer server({}, options);
    if (!server.start()) return {0, 0};
    const int fd = ::open(server.slavePath().c_str(), O_RDWR | O_NOCTTY);
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
    const auto begin = Clock::now();
    if (::write(fd, requests.data(), requests.size()) != static_cast<ssize_t>(requests.size()))
        return {0, 0};
    std::size_t got = 0;
    while (got < expected && Clock::now() - begin < std::chrono::seconds(10)) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) continue;
        std::uint8_t buf[4096];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return {std::chrono::duration<double>(Clock::now() - begin).count(), got};
}

double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

void runFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::printf("| baud | bytes | seconds | wire seconds | ratio |\n|---|---|---|---|---|\n");
    for (std::uint32_t baud : {19200U, 38400U, 57600U, 115200U}) {
        const auto [seconds, bytes] = pacing(baud);
        const double wire = static_cast<double>(bytes) * 11.0 / baud;
        std::printf("| %u | %zu | %.3f | %.3f | %.2f |\n", baud, bytes, seconds, wire,
                    seconds / wire);
    }

    auto server =
        std::make_unique<qtx::sim::PtyServer>(qtx::sim::ModelOptions{}, qtx::sim::ServerOptions{});
    if (!server->start()) return 1;
    qtx::MainWindow window(qtx::PortMap{QString::fromStdString(server->slavePath()), QString()});
    window.show();
    runFor(500);
    server.reset();  // pulled out
    runFor(200);
    const double before = cpuSeconds();
    runFor(1000);
    std::printf(
        "\nidle after the adapter was pulled out: %.3f s processor time in 1 s (%s)\n",
        cpuSeconds() - before,
        window.findChild<QPlainTextEdit*>("PCtext")->toPlainText().toLocal8Bit().constData());

    // Noise: the window on the test's own pseudo-terminal.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return 1;
    termios raw{};
    ::tcgetattr(master, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(master, TCSANOW, &raw);
    qtx::MainWindow noisy(qtx::PortMap{QString::fromLocal8Bit(::ptsname(master)), QString()});
    noisy.show();
    std::mt19937 noise(7);
    Bytes chunk(4096);
    QElapsedTimer clock;
    clock.start();
    qint64 lastBeat = 0, worstPause = 0;
    QTimer beat;
    QObject::connect(&beat, &QTimer::timeout, [&] {
        worstPause = std::max(worstPause, clock.elapsed() - lastBeat);
        lastBeat = clock.elapsed();
    });
    beat.start(10);
    const auto drain = [&] {
        std::uint8_t sink[512];
        while (::read(master, sink, sizeof sink) > 0) {
        }
    };
    for (std::size_t sent = 0; sent < 10 * 1024 * 1024 && clock.elapsed() < 120000;
         sent += chunk.size()) {
        for (auto& b : chunk) b = static_cast<std::uint8_t>(noise());
        for (std::size_t at = 0; at < chunk.size();) {
            const ssize_t n = ::write(master, chunk.data() + at, chunk.size() - at);
            if (n > 0) at += static_cast<std::size_t>(n);
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            drain();  // what the console answers to frames the noise happened to hold
        }
    }
    const qint64 took = clock.elapsed();
    runFor(100);
    qtx::Console& console = noisy.console();
    std::printf(
        "\n10 MB of noise in %lld ms, worst event-loop pause %lld ms, port %s, receive buffer %d "
        "bytes\n",
        static_cast<long long>(took), static_cast<long long>(worstPause),
        console.linkState().portopen ? "open" : "closed",
        static_cast<int>(console.linkState().rxcount));
    // Afterwards: Establish Link, a display, and the link is up again.
    noisy.findChild<QAction*>("mnuestablishlink1")->trigger();
    runFor(50);
    drain();
    const std::string display =
        std::string("\xA5\x09\x30\x00\xDE\x00", 6) + std::string(48, 'A') + "\x30\x0C";
    if (::write(master, display.data(), display.size()) != static_cast<ssize_t>(display.size()))
        return 1;
    runFor(200);
    std::printf(
        "afterwards: '%s'\n",
        noisy.findChild<QPlainTextEdit*>("PCtext")->toPlainText().toLocal8Bit().constData());
    ::close(master);
    return 0;
}

// The download time of the 320 x 200 screen image through ser2net on the loopback, RFC 2217
// and raw TCP, against the same pseudo-terminal opened directly: the real console window
// (offscreen) and the simulated QTX paced at the line speed (11 bits a byte).
//
//   bench_net [--runs N] [--baud B] [--ser2net-defaults]
//
// The three ways take turns, so that a busy moment of the machine falls on all of them.
// --ser2net-defaults runs ser2net as installed (Nagle's algorithm on, and a wait of at least
// 1 ms for more bytes before it sends) instead of as the README advises.
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPlainTextEdit>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "main_window.hpp"
#include "pty/pty_server.hpp"
#include "ser2net.hpp"

namespace {

using Clock = std::chrono::steady_clock;

bool pumpUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

QString text(qtx::MainWindow& window, const char* box) {
    return window.findChild<QPlainTextEdit*>(QString::fromLatin1(box))->toPlainText();
}

// Establish Link on COM1 with `device` behind it; true when the QTX answered.
bool link(qtx::MainWindow& window, const QString& device) {
    window.host().setDevice(1, device);
    window.console().establishLink(1);
    return pumpUntil([&] { return text(window, "PCtext") == "Link Established"; }, 5000);
}

// One download of the screen image; seconds, or a negative number when it did not complete.
double download(qtx::MainWindow& window, std::uint32_t baud) {
    bool complete = false;
    const auto received =
        QObject::connect(&window.host(), &qtx::QtHost::reported, [&](const qtx::Event& event) {
            complete = complete || std::holds_alternative<qtx::ImageReceived>(event);
        });
    QEventLoop loop;
    Clock::time_point finished;
    const auto watch = QObject::connect(&window.host(), &qtx::ShellHost::serialEvent, &loop, [&] {
        if (complete) {
            finished = Clock::now();
            loop.quit();
        }
    });
    QTimer::singleShot(static_cast<int>(3 * 130000.0 * 11 / baud * 1000) + 5000, &loop,
                       &QEventLoop::quit);
    const Clock::time_point start = Clock::now();
    window.findChild<QAction*>(QStringLiteral("mnudownloadlight"))->trigger();
    loop.exec();
    QObject::disconnect(watch);
    QObject::disconnect(received);
    if (!complete) return -1;
    return std::chrono::duration<double>(finished - start).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int runs = 3;
    std::uint32_t baud = 115200;
    bool tuned = true;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--runs") && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (!std::strcmp(argv[i], "--baud") && i + 1 < argc) {
            baud = static_cast<std::uint32_t>(std::max(300, std::atoi(argv[++i])));
        } else if (!std::strcmp(argv[i], "--ser2net-defaults")) {
            tuned = false;
        } else {
            std::fprintf(stderr, "usage: bench_net [--runs N] [--baud B] [--ser2net-defaults]\n");
            return 2;
        }
    }

    qtx::sim::ServerOptions options;
    options.baud = baud;
    options.bitsPerByte = 11;
    qtx::sim::PtyServer server(qtx::sim::ModelOptions{}, options);
    if (!server.start()) {
        std::fprintf(stderr, "bench_net: %s\n", server.error().c_str());
        return 1;
    }
    const QString pty = QString::fromStdString(server.slavePath());
    qtx::test::Ser2net ser2net(pty, QStringLiteral("%1n82").arg(baud), tuned);
    if (!ser2net.start()) {
        std::fprintf(stderr, "bench_net: ser2net did not start (scripts/setup.sh installs it)\n");
        return 1;
    }
    qtx::MainWindow window(qtx::PortMap{pty, QStringLiteral("/nonexistent")});
    window.show();

    const std::pair<const char*, QString> ways[] = {
        {"pty", pty}, {"rfc2217", ser2net.rfc2217()}, {"tcp", ser2net.raw()}};
    std::map<std::string, std::vector<double>> times;
    std::printf("%u baud, 11 bits a byte, ser2net %s; seconds a screen image\n", baud,
                tuned ? "as the README advises (nodelay, chardelay: false)" : "with its defaults");
    for (int run = 1; run <= runs; ++run) {
        std::printf("run %d:", run);
        for (const auto& [name, device] : ways) {
            // ser2net lets go of the device a moment after its client has gone.
            window.host().closePort();
            pumpUntil([] { return false; }, 200);
            if (!link(window, device)) {
                std::fprintf(stderr, "\nbench_net: no link through %s\n", name);
                return 1;
            }
            const double s = download(window, baud);
            if (s < 0) {
                std::fprintf(stderr, "\nbench_net: no image through %s\n", name);
                return 1;
            }
            times[name].push_back(s);
            std::printf("  %s %.3f", name, s);
            std::fflush(stdout);
        }
        std::printf("\n");
    }
    const double direct = median(times["pty"]);
    std::printf("\n| way | median s | min s | against the pty |\n|---|---|---|---|\n");
    for (const auto& [name, device] : ways) {
        const auto& t = times[name];
        std::printf("| %s | %.3f | %.3f | %+.2f %% |\n", name, median(t),
                    *std::min_element(t.begin(), t.end()), (median(t) / direct - 1) * 100);
    }
    window.console().closeLink();
    server.stop();
    return 0;
}

// The growing picture: the real console window downloads the 320 x 200 screen image from the
// simulated QTX over a pseudo-terminal paced like the serial line, alternately with the
// picture growing row by row and without it, and prints
//   the download time of each way (the growing picture should not change it), and
//   the time from a row's storing to the paint that first shows it (at most about 100 ms).
//
//   bench_growing [--runs N] [--baud B]
#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "growing_picture.hpp"
#include "main_window.hpp"
#include "picture_view.hpp"
#include "pty/pty_server.hpp"

namespace {

using Clock = std::chrono::steady_clock;

struct Run {
    double seconds = 0;
    std::vector<double> latencyMs;  // a row each, when the picture grew
    int paints = 0;
    bool ok = false;
};

Run download(qtx::MainWindow& window, bool growing) {
    Run run;
    auto* grow = window.findChild<qtx::GrowingPicture*>();
    QObject::disconnect(&window.host(), &qtx::QtHost::reported, grow, nullptr);
    if (growing) {
        QObject::connect(&window.host(), &qtx::QtHost::reported, grow, &qtx::GrowingPicture::event);
    }
    std::vector<Clock::time_point> stored;
    QEventLoop loop;
    Clock::time_point finished;
    QMetaObject::Connection seen =
        QObject::connect(&window.host(), &qtx::QtHost::reported, &loop, [&](const qtx::Event& e) {
            if (std::holds_alternative<qtx::RowStored>(e)) stored.push_back(Clock::now());
            if (std::holds_alternative<qtx::ImageReceived>(e)) {
                finished = Clock::now();
                run.ok = true;
                loop.quit();
            }
        });
    QMetaObject::Connection painted =
        QObject::connect(grow, &qtx::GrowingPicture::painted_, &loop, [&](int rows) {
            const Clock::time_point now = Clock::now();
            ++run.paints;
            for (std::size_t k = run.latencyMs.size();
                 k < static_cast<std::size_t>(rows) && k < stored.size(); ++k) {
                run.latencyMs.push_back(
                    std::chrono::duration<double, std::milli>(now - stored[k]).count());
            }
        });
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    limit.start(120000);
    const Clock::time_point start = Clock::now();
    window.findChild<QAction*>(QStringLiteral("mnudownloadlight"))->trigger();
    loop.exec();
    QObject::disconnect(seen);
    QObject::disconnect(painted);
    run.seconds = std::chrono::duration<double>(finished - start).count();
    return run;
}

// Lets the answers that end a download pass before the next starts.
void settle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[static_cast<std::size_t>(p * static_cast<double>(v.size() - 1))];
}

}  // namespace

int main(int argc, char* argv[]) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int runs = 3;
    std::uint32_t baud = 115200;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        if (arg == "--runs") runs = std::max(1, std::atoi(argv[i + 1]));
        if (arg == "--baud")
            baud = static_cast<std::uint32_t>(std::max(1200, std::atoi(argv[i + 1])));
    }
    QApplication app(argc, argv);
    qtx::sim::ServerOptions options;
    options.baud = baud;
    options.bitsPerByte = 11;
    qtx::sim::PtyServer server(qtx::sim::ModelOptions{}, options);
    if (!server.start()) {
        std::fprintf(stderr, "bench_growing: %s\n", server.error().c_str());
        return 1;
    }
    {
        qtx::MainWindow window(qtx::PortMap{QString::fromStdString(server.slavePath()),
                                            QStringLiteral("/nonexistent")});
        window.show();
        if (baud != 115200) {
            if (auto* speed = window.findChild<QAction*>(QStringLiteral("mnu%1").arg(baud)))
                speed->trigger();
        }
        settle(1000);
        std::vector<double> plain, grown, latency;
        int paints = 0;
        for (int i = 0; i < 2 * runs; ++i) {
            const bool growing = i % 2 == 1;
            const Run r = download(window, growing);
            if (!r.ok) {
                std::fprintf(stderr, "bench_growing: no image\n");
                return 1;
            }
            (growing ? grown : plain).push_back(r.seconds);
            latency.insert(latency.end(), r.latencyMs.begin(), r.latencyMs.end());
            paints += r.paints;
            std::printf("%-8s %.3f s%s\n", growing ? "growing" : "plain", r.seconds,
                        growing ? (", " + std::to_string(r.paints) + " paints").c_str() : "");
            settle(300);
        }
        const auto mean = [](const std::vector<double>& v) {
            double s = 0;
            for (double x : v) s += x;
            return s / static_cast<double>(v.size());
        };
        std::printf("\n%u baud, %d downloads each way of the 320 x 200 screen image\n", baud, runs);
        // The shared machine adds a stray slow run now and then: the median is the measure.
        const double p = percentile(plain, 0.5), g = percentile(grown, 0.5);
        std::printf(
            "download median: plain %.3f s, growing %.3f s (%+.2f %%); means %.3f and "
            "%.3f s\n",
            p, g, (g / p - 1) * 100, mean(plain), mean(grown));
        std::printf(
            "row stored -> shown: median %.1f ms, 95th %.1f ms, max %.1f ms (%zu rows, "
            "%.1f paints an image)\n",
            percentile(latency, 0.5), percentile(latency, 0.95), percentile(latency, 1.0),
            latency.size(), static_cast<double>(paints) / runs);
    }
    server.stop();

    // The work itself: storing a row and painting a whole frame, in a loop.
    qtx::PictureView view(1);
    qtx::GrowingPicture grow(&view);
    qtx::ImageRecord r;
    r.imagedata.resize(320, 200);
    for (std::size_t k = 0; k < r.imagedata.cells.size(); ++k)
        r.imagedata.cells[k] = static_cast<std::uint16_t>(k * 7919U);
    r.range = 4096;
    constexpr int kRounds = 200;
    grow.event(qtx::ImageStarted{});
    auto t0 = Clock::now();
    for (int n = 0; n < kRounds; ++n)
        for (int row = 1; row <= 200; ++row) grow.event(qtx::RowStored{&r, row});
    const double rowUs =
        std::chrono::duration<double, std::micro>(Clock::now() - t0).count() / (kRounds * 200);
    t0 = Clock::now();
    for (int n = 0; n < kRounds; ++n) grow.paint();
    const double paintMs =
        std::chrono::duration<double, std::milli>(Clock::now() - t0).count() / kRounds;
    std::printf("a row stored: %.2f us; a paint of 320 x 200: %.3f ms\n", rowUs, paintMs);
    return 0;
}

// The upload benchmark: the real console window uploads a whole code image to the simulated
// QTX over a pseudo-terminal, and the time from the menu command to "Code succesfully
// uploaded" is set against the time its bytes need on the wire.
//
//   bench_upload [--runs N] [--baud B]
//
// The pty paces only what the simulated QTX sends (its acknowledgements), not the pages the
// console writes; so besides the measured time the table shows what the console, the pty and
// the simulated QTX added beyond the acknowledgements' own line time, and from that the time
// a real cable would take: every byte's wire time plus what was added.
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QFileDialog>
#include <QPlainTextEdit>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "main_window.hpp"
#include "model/firmware.hpp"
#include "model/qtx_model.hpp"
#include "model/rng.hpp"
#include "pty/pty_server.hpp"
#include "upload/crc16.hpp"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint32_t kBitsPerByte = 11;
const QString kSuccess = QStringLiteral("Code succesfully uploaded - QTX restarting");

std::vector<std::uint8_t> codeImage() {
    qtx::sim::Rng rng(42);
    std::vector<std::uint8_t> image(qtx::kCodeBytes);
    for (auto& b : image) b = static_cast<std::uint8_t>(rng.next() & 0xFF);
    const std::uint16_t crc = qtx::crc16(std::span(image).first(qtx::kCodeChecked));
    image[qtx::kCodeBytes - 2] = static_cast<std::uint8_t>(crc >> 8);
    image[qtx::kCodeBytes - 1] = static_cast<std::uint8_t>(crc & 0xFF);
    return image;
}

struct Run {
    bool ok = false;
    double measured = 0;
    std::uint64_t toQtx = 0, fromQtx = 0;
};

class Session {
  public:
    explicit Session(std::uint32_t baud) : baud(baud) {
        qtx::sim::ServerOptions options;
        options.baud = baud;
        options.bitsPerByte = kBitsPerByte;
        server = std::make_unique<qtx::sim::PtyServer>(qtx::sim::ModelOptions{}, options);
        if (!server->start()) {
            std::fprintf(stderr, "bench_upload: %s\n", server->error().c_str());
            server.reset();
            return;
        }
        window = std::make_unique<qtx::MainWindow>(qtx::PortMap{
            QString::fromStdString(server->slavePath()), QStringLiteral("/nonexistent")});
        window->show();
    }
    ~Session() {
        window.reset();
        if (server) server->stop();
    }

    QString text() const {
        return window->findChild<QPlainTextEdit*>(QStringLiteral("PCtext"))->toPlainText();
    }

    bool waitFor(const std::function<bool()>& done, int timeoutMs) {
        const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
        QTimer wake;
        wake.start(5);
        while (!done()) {
            if (Clock::now() > end) return false;
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        return true;
    }

    bool link() {
        if (!window) return false;
        if (baud != 115200) {
            const QString name = QStringLiteral("mnu%1").arg(baud);
            if (auto* speed = window->findChild<QAction*>(name)) speed->trigger();
        }
        return waitFor([&] { return text() == "Link Established"; }, 5000);
    }

    Run upload(const std::string& path, const std::vector<std::uint8_t>& image) {
        Run run;
        // The dialog is modal: answer it from inside its own event loop.
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            if (auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                answer.stop();
                d->selectFile(QString::fromStdString(path));
                QMetaObject::invokeMethod(d, "accept", Qt::QueuedConnection);
            }
        });
        answer.start(1);
        const std::uint64_t sent0 = server->bytesSent(), got0 = server->bytesReceived();
        const Clock::time_point start = Clock::now();
        window->findChild<QAction*>(QStringLiteral("mnuUploadFile"))->trigger();
        const bool done =
            waitFor([&] { return text() == kSuccess || text() == "Communication Failed"; },
                    static_cast<int>(3.0 * 110000 * kBitsPerByte / baud * 1000) + 10000);
        run.measured = std::chrono::duration<double>(Clock::now() - start).count();
        run.toQtx = server->bytesReceived() - got0;
        run.fromQtx = server->bytesSent() - sent0;
        bool loaded = false;
        server->withModel([&](qtx::sim::QtxModel& m) { loaded = m.code().code() == image; });
        run.ok = done && text() == kSuccess && loaded;
        if (!run.ok) {
            std::fprintf(stderr, "bench_upload: %s\n", qPrintable(text()));
            return run;
        }
        // Remote operation comes back after two seconds; the next run starts from there.
        waitFor([] { return false; }, 2500);
        return run;
    }

  private:
    std::uint32_t baud;
    std::unique_ptr<qtx::sim::PtyServer> server;
    std::unique_ptr<qtx::MainWindow> window;
};

void line(const char* name, const Run& r, std::uint32_t baud) {
    const double byteTime = 1.0 * kBitsPerByte / baud;
    const double wire = static_cast<double>(r.toQtx + r.fromQtx) * byteTime;
    const double answers = static_cast<double>(r.fromQtx) * byteTime;
    const double added = r.measured - answers;
    std::printf("%-5s %8llu %8llu %8.3f %8.3f %8.3f %8.3f %8.2f%%\n", name,
                static_cast<unsigned long long>(r.toQtx),
                static_cast<unsigned long long>(r.fromQtx), wire, r.measured, added, wire + added,
                added / wire * 100);
}

int number(const char* text, int fallback) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    return end != text && *end == '\0' && v > 0 && v < 10000000 ? static_cast<int>(v) : fallback;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int runs = 2;
    std::uint32_t baud = 115200;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc) {
            runs = number(argv[++i], runs);
        } else if (arg == "--baud" && i + 1 < argc) {
            baud = static_cast<std::uint32_t>(number(argv[++i], static_cast<int>(baud)));
        } else {
            std::fprintf(stderr, "usage: bench_upload [--runs N] [--baud B]\n");
            return 2;
        }
    }
    QApplication app(argc, argv);
    // Qt's own file dialog: a native one could not be answered from here.
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);

    const auto image = codeImage();
    const auto path = std::filesystem::temp_directory_path() /
                      ("bench_upload_" + std::to_string(::getpid()) + ".bin");
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()),
               static_cast<std::streamsize>(image.size()));

    std::printf(
        "%u baud, %u bits a byte, %d upload%s of a %zu-byte code image.\n"
        "wire = bytes both ways x %u / baud; added = measured - the acknowledgements' line time\n"
        "(the pty does not pace the pages); real line = wire + added.\n",
        baud, kBitsPerByte, runs, runs == 1 ? "" : "s", image.size(), kBitsPerByte);
    std::printf("%-5s %8s %8s %8s %8s %8s %8s %9s\n", "run", "to QTX", "from QTX", "wire s",
                "meas. s", "added s", "real s", "added");
    int status = 0;
    {
        Session session(baud);
        if (!session.link()) {
            std::fprintf(stderr, "bench_upload: the link did not come up\n");
            status = 1;
        }
        for (int i = 0; i < runs && status == 0; ++i) {
            const Run r = session.upload(path.string(), image);
            if (!r.ok) {
                status = 1;
                break;
            }
            line(std::to_string(i + 1).c_str(), r, baud);
        }
    }
    std::filesystem::remove(path);
    return status;
}

// The link benchmark: the real console window downloads a 320 x 200 image from the
// simulated QTX over a pseudo-terminal paced like the serial line, and the time it takes is
// set against the time the bytes need on the wire. The console should add little to it.
//
//   bench_link [--runs N] [--low-runs N] [--low-baud B] [--holdback MS] [--flush]
//
// Besides the totals, each row exchange is timed at every hand-over, so that what the
// console adds shows where it goes:
//   line      the reply's last bit is on the cable: emitted + bytes x byte time
//   arrival   the port's read notifier fires for the reply's last piece
//   issued    the console has processed the row and queued the next request
//   written   the port's write notifier fires and the request leaves the console
//   received  the simulated QTX has read the request
// --flush pushes the request out right after the console queued it (what the console would
// do if it flushed the port after each write), to show what that saves. Each speed is run
// again through a USB adapter whose latency timer holds back the tail of every reply for
// --holdback MS (default 16, FTDI's own; 0 leaves it out), and a table sets the two side by side.
#include <sys/resource.h>

#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QPlainTextEdit>
#include <QSerialPort>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/frame.hpp"
#include "main_window.hpp"
#include "model/qtx_model.hpp"
#include "pty/pty_server.hpp"

namespace {

using Clock = std::chrono::steady_clock;
using qtx::MainWindow;
using qtx::sim::QtxModel;

constexpr std::uint32_t kBitsPerByte = 11;

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Processor time in user and system mode, of the calling thread (the console's: the
// server has a thread of its own) or of the whole process.
struct Cpu {
    double user = 0, system = 0;
    double total() const { return user + system; }
};

Cpu cpuTime(int who) {
    rusage u{};
    getrusage(who, &u);
    const auto s = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return {s(u.ru_utime), s(u.ru_stime)};
}

Cpu operator-(const Cpu& a, const Cpu& b) { return {a.user - b.user, a.system - b.system}; }

// Frames as the simulated QTX sees them pass, stamped on the way.
struct FrameMark {
    Clock::time_point at;
    bool in = false;  // from the console
    std::uint8_t code = 0;
    std::size_t bytes = 0;
};

// Times the console side of each exchange, from the port's notifiers and its signal.
class PortWatch : public QObject {
  public:
    explicit PortWatch(QSerialPort& port) : port(port) {
        for (QSocketNotifier* n : port.findChildren<QSocketNotifier*>()) {
            n->installEventFilter(this);
        }
    }

    bool flushEachRequest = false;
    std::vector<Clock::time_point> arrivals;  // last read notification before each issue
    std::vector<Clock::time_point> issued;
    std::vector<Clock::time_point> written;
    std::function<void()> afterRead;

    void clear() {
        arrivals.clear();
        issued.clear();
        written.clear();
        awaitingWrite = false;
    }

    // Runs after the console has handled the port's readyRead.
    void onReadyRead() {
        // The shell hands each request to the device as it writes it: then nothing waits in
        // the port, and only its write notifier, armed until the loop tells of the write,
        // shows that a request went out during this event.
        const bool waiting = port.bytesToWrite() > 0;
        if ((waiting || writeArmed()) && !awaitingWrite) {
            issued.push_back(Clock::now());
            arrivals.push_back(lastRead);
            awaitingWrite = true;
            leftAlready = !waiting;
            if (leftAlready) written.push_back(issued.back());
            if (flushEachRequest && !leftAlready) {
                port.flush();
                written.push_back(Clock::now());
                awaitingWrite = false;
            }
        }
        if (afterRead) afterRead();
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::SockAct) {
            auto* n = static_cast<QSocketNotifier*>(watched);
            if (n->type() == QSocketNotifier::Read) {
                lastRead = Clock::now();
            } else if (n->type() == QSocketNotifier::Write && awaitingWrite) {
                if (!leftAlready) written.push_back(Clock::now());
                awaitingWrite = false;
            }
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    bool writeArmed() const {
        for (const QSocketNotifier* n : port.findChildren<QSocketNotifier*>()) {
            if (n->type() == QSocketNotifier::Write && n->isEnabled()) return true;
        }
        return false;
    }

    QSerialPort& port;
    Clock::time_point lastRead;
    bool awaitingWrite = false;
    bool leftAlready = false;  // the request was written to the device by the console itself
};

struct Breakdown {
    int exchanges = 0;
    double line = 0;      // the replies' own line time
    double delivery = 0;  // line -> arrival: the server's pacing, the pty, Qt's wake-up
    double console = 0;   // arrival -> issued: reading and storing the row, progress
    double deferral = 0;  // issued -> written: the request waits for the event loop
    double pickup = 0;    // written -> received by the simulated QTX
};

struct Run {
    double measured = 0;
    std::uint64_t sent = 0, received = 0;
    Cpu cpuConsole, cpuProcess;
    int rows = 0;
    Breakdown split;
    bool ok = false;
};

class Session {
  public:
    Session(std::uint32_t baud, bool flush, int holdbackMs) : baud(baud) {
        qtx::sim::ServerOptions options;
        options.baud = baud;
        options.bitsPerByte = kBitsPerByte;
        options.holdbackMs = holdbackMs;
        server = std::make_unique<qtx::sim::PtyServer>(qtx::sim::ModelOptions{}, options);
        if (!server->start()) {
            std::fprintf(stderr, "bench_link: %s\n", server->error().c_str());
            return;
        }
        server->withModel([this](QtxModel& m) {
            // Called under the server's lock; read back under it too.
            m.setWatcher([this](qtx::sim::Direction d, std::span<const std::uint8_t> bytes,
                                const std::string& note) {
                if (bytes.size() < qtx::kHeaderSize || bytes[0] != qtx::kSync || !note.empty())
                    return;
                marks.push_back(
                    {Clock::now(), d == qtx::sim::Direction::In, bytes[1], bytes.size()});
            });
        });
        window = std::make_unique<MainWindow>(qtx::PortMap{
            QString::fromStdString(server->slavePath()), QStringLiteral("/nonexistent")});
        window->show();
        auto& port = const_cast<QSerialPort&>(window->host().serialPort());
        watch = std::make_unique<PortWatch>(port);
        watch->flushEachRequest = flush;
        QObject::connect(&port, &QSerialPort::readyRead, watch.get(),
                         [this] { watch->onReadyRead(); });
    }

    ~Session() {
        window.reset();
        if (server) server->stop();
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

    QString text(const char* box) const {
        return window->findChild<QPlainTextEdit*>(QString::fromLatin1(box))->toPlainText();
    }

    bool link() {
        if (!window) return false;
        if (baud != 115200) {
            // The console's own speed setting: its watchdog allows for the slower rows.
            const QString name = QStringLiteral("mnu%1").arg(baud);
            if (auto* speed = window->findChild<QAction*>(name)) speed->trigger();
        }
        return waitFor([&] { return text("PCtext") == "Link Established"; }, 5000);
    }

    // The line falls quiet: the answers that end a download have all arrived.
    void settle() {
        std::uint64_t last = ~0ULL;
        Clock::time_point changed = Clock::now();
        waitFor(
            [&] {
                const std::uint64_t now = server->bytesSent() + server->bytesReceived();
                if (now != last) {
                    last = now;
                    changed = Clock::now();
                }
                return Clock::now() - changed > std::chrono::milliseconds(100);
            },
            2000);
    }

    Run download() {
        Run run;
        int width = 0, height = 0;
        server->withModel([&](QtxModel& m) {
            width = m.buffer(qtx::sim::kScreenBuffer).header.width;
            height = m.buffer(qtx::sim::kScreenBuffer).header.height;
            marks.clear();
        });
        if (width != 320 || height != 200) {
            std::fprintf(stderr, "bench_link: the screen buffer is %d x %d, not 320 x 200\n", width,
                         height);
            return run;
        }
        watch->clear();
        // The console reports the image whole; its height is taken from the record then.
        bool complete = false;
        const auto received =
            QObject::connect(&window->host(), &qtx::QtHost::reported, [&](const qtx::Event& event) {
                if (const auto* image = std::get_if<qtx::ImageReceived>(&event)) {
                    complete = true;
                    run.rows = image->record->imageheight;
                }
            });
        const std::uint64_t sent0 = server->bytesSent(), got0 = server->bytesReceived();
        const Cpu cpu0 = cpuTime(RUSAGE_THREAD);
        const Cpu proc0 = cpuTime(RUSAGE_SELF);

        QEventLoop loop;
        Clock::time_point finished;
        watch->afterRead = [&] {
            if (complete) {
                finished = Clock::now();
                loop.quit();
            }
        };
        QTimer limit;
        limit.setSingleShot(true);
        QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
        // Ample: three times the line time of a whole image, and then some.
        limit.start(static_cast<int>(3 * 130000.0 * kBitsPerByte / baud * 1000) + 5000);

        const Clock::time_point start = Clock::now();
        window->findChild<QAction*>(QStringLiteral("mnudownloadlight"))->trigger();
        loop.exec();
        watch->afterRead = nullptr;
        QObject::disconnect(received);

        run.ok = complete;
        if (!run.ok) {
            std::fprintf(stderr, "bench_link: no image (%s)\n", qPrintable(text("PCtext")));
            return run;
        }
        run.measured = seconds(finished - start);
        run.sent = server->bytesSent() - sent0;
        run.received = server->bytesReceived() - got0;
        run.cpuConsole = cpuTime(RUSAGE_THREAD) - cpu0;
        run.cpuProcess = cpuTime(RUSAGE_SELF) - proc0;
        std::vector<FrameMark> seen;
        server->withModel([&](QtxModel&) { seen = marks; });
        run.split = breakDown(seen, finished);
        return run;
    }

  private:
    // Pairs every reply with the request that follows it and with the console's marks.
    Breakdown breakDown(const std::vector<FrameMark>& seen, Clock::time_point finished) const {
        Breakdown b;
        const auto byteTime = std::chrono::duration<double>(1.0 * kBitsPerByte / baud);
        std::vector<const FrameMark*> replies, requests;
        for (const FrameMark& m : seen) {
            if (m.at > finished) break;
            const bool exchange =
                m.code == qtx::MSG_HEADER || m.code == qtx::MSG_ROW || m.code == qtx::MSG_ROW_RAW;
            if (exchange) (m.in ? requests : replies).push_back(&m);
        }
        if (requests.empty()) return b;
        // Requests: header, rows...; replies the same, each answering the one before it.
        // The console's marks start with the request that answers the first reply.
        const std::size_t n = std::min({replies.size(), requests.size() - 1, watch->issued.size(),
                                        watch->written.size(), watch->arrivals.size()});
        for (std::size_t k = 0; k < n; ++k) {
            const auto line =
                replies[k]->at + std::chrono::duration_cast<Clock::duration>(
                                     byteTime * static_cast<double>(replies[k]->bytes));
            b.line += seconds(line - replies[k]->at);
            b.delivery += seconds(watch->arrivals[k] - line);
            b.console += seconds(watch->issued[k] - watch->arrivals[k]);
            b.deferral += seconds(watch->written[k] - watch->issued[k]);
            b.pickup += seconds(requests[k + 1]->at - watch->written[k]);
            ++b.exchanges;
        }
        return b;
    }

    std::uint32_t baud;
    std::unique_ptr<qtx::sim::PtyServer> server;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<PortWatch> watch;
    std::vector<FrameMark> marks;  // guarded by the server's lock
};

struct Summary {
    double wire = 0, paced = 0, measured = 0;
};

void header() {
    std::printf("%-5s %7s %7s %8s %8s %9s %8s %8s %7s %21s %8s\n", "run", "bytes", "to QTX",
                "wire s", "meas. s", "overhead", "added", "console", "rows/s",
                "console cpu user+sys", "process");
}

void line(const std::string& name, const Run& r, std::uint32_t baud) {
    const double bytes = static_cast<double>(r.sent + r.received);
    const double wire = bytes * kBitsPerByte / baud;
    const double replies = static_cast<double>(r.sent) * kBitsPerByte / baud;
    // The pty does not pace the requests: beyond the replies' own line time, everything is
    // what the console, the pty and the simulated QTX added.
    const double added = r.measured - replies;
    const double console = r.split.console + r.split.deferral;
    std::printf(
        "%-5s %7llu %7llu %8.3f %8.3f %8.2f%% %7.2f%% %7.2f%% %7.1f %9.3fs + %7.3fs %7.3fs\n",
        name.c_str(), static_cast<unsigned long long>(r.sent + r.received),
        static_cast<unsigned long long>(r.received), wire, r.measured,
        (r.measured / wire - 1) * 100, added / wire * 100, console / wire * 100,
        r.rows / r.measured, r.cpuConsole.user, r.cpuConsole.system, r.cpuProcess.total());
}

void breakdown(const std::vector<Run>& runs) {
    Breakdown t;
    for (const Run& r : runs) {
        t.exchanges += r.split.exchanges;
        t.line += r.split.line;
        t.delivery += r.split.delivery;
        t.console += r.split.console;
        t.deferral += r.split.deferral;
        t.pickup += r.split.pickup;
    }
    if (t.exchanges == 0) return;
    const double n = t.exchanges;
    std::printf(
        "  per exchange (%d): reply on the line %.2f ms; then to the console %.3f ms (server "
        "pacing, pty, wake-up), in the console %.3f ms, request waits %.3f ms, to the QTX %.3f "
        "ms\n",
        t.exchanges, t.line / n * 1e3, t.delivery / n * 1e3, t.console / n * 1e3,
        t.deferral / n * 1e3, t.pickup / n * 1e3);
    const double added = t.delivery + t.console + t.deferral + t.pickup;
    std::printf(
        "  of the %.3f ms added per exchange: delivery %.0f%%, console %.0f%%, waiting "
        "%.0f%%, pick-up %.0f%%\n",
        added / n * 1e3, 100 * t.delivery / added, 100 * t.console / added,
        100 * t.deferral / added, 100 * t.pickup / added);
}

// One row of the closing table: a speed, with or without the adapter's holdback.
struct Outcome {
    std::uint32_t baud = 0;
    int holdbackMs = 0;
    double seconds = 0;  // mean download time
    int exchanges = 0;   // the header's and the rows', per download
};

std::optional<Outcome> measure(std::uint32_t baud, int runs, bool flush, int holdbackMs) {
    std::printf(
        "\n%u baud, %u bits a byte, %d download%s of the 320 x 200 screen image%s%s\n", baud,
        kBitsPerByte, runs, runs == 1 ? "" : "s", flush ? ", requests flushed at once" : "",
        holdbackMs > 0
            ? (", through a USB adapter holding back " + std::to_string(holdbackMs) + " ms").c_str()
            : "");
    Session session(baud, flush, holdbackMs);
    if (!session.link()) {
        std::fprintf(stderr, "bench_link: the link did not come up at %u baud\n", baud);
        return std::nullopt;
    }
    session.settle();
    header();
    std::vector<Run> done;
    for (int i = 0; i < runs; ++i) {
        Run r = session.download();
        if (!r.ok) return std::nullopt;
        line(std::to_string(i + 1), r, baud);
        done.push_back(r);
        session.settle();
    }
    Run mean;
    for (const Run& r : done) {
        mean.measured += r.measured / runs;
        mean.sent += r.sent;
        mean.received += r.received;
        mean.cpuConsole.user += r.cpuConsole.user / runs;
        mean.cpuConsole.system += r.cpuConsole.system / runs;
        mean.cpuProcess.user += r.cpuProcess.user / runs;
        mean.cpuProcess.system += r.cpuProcess.system / runs;
        mean.rows += r.rows;
        mean.split.console += r.split.console / runs;
        mean.split.deferral += r.split.deferral / runs;
    }
    mean.sent /= static_cast<std::uint64_t>(runs);
    mean.received /= static_cast<std::uint64_t>(runs);
    mean.rows /= runs;
    line("mean", mean, baud);
    breakdown(done);
    return Outcome{baud, holdbackMs, mean.measured, mean.rows + 1};
}

// Each speed plain and through the adapter, side by side.
void compare(const std::vector<Outcome>& outcomes) {
    std::printf("\n| baud | line to the console | download s | per exchange ms | added |\n");
    std::printf("|---|---|---|---|---|\n");
    for (const Outcome& o : outcomes) {
        std::string added = "";
        for (const Outcome& plain : outcomes) {
            if (o.holdbackMs > 0 && plain.baud == o.baud && plain.holdbackMs == 0) {
                char text[64];
                std::snprintf(text, sizeof text, "+%.2f s (+%.0f %%)", o.seconds - plain.seconds,
                              (o.seconds / plain.seconds - 1) * 100);
                added = text;
            }
        }
        const std::string way =
            o.holdbackMs > 0 ? "USB adapter, " + std::to_string(o.holdbackMs) + " ms latency timer"
                             : "serial port";
        std::printf("| %u | %s | %.2f | %.1f | %s |\n", o.baud, way.c_str(), o.seconds,
                    o.seconds / o.exchanges * 1e3, added.c_str());
    }
}

int number(const char* text, int fallback, long least) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    return end != text && *end == '\0' && v >= least && v < 1000000000 ? static_cast<int>(v)
                                                                       : fallback;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int runs = 3;
    int lowRuns = 2;
    std::uint32_t lowBaud = 57600;
    bool flush = false;
    int holdbackMs = 16;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--runs" && hasValue) {
            runs = number(argv[++i], runs, 1);
        } else if (arg == "--low-runs" && hasValue) {
            lowRuns = number(argv[++i], lowRuns, 0);
        } else if (arg == "--low-baud" && hasValue) {
            lowBaud =
                static_cast<std::uint32_t>(number(argv[++i], static_cast<int>(lowBaud), 1200));
        } else if (arg == "--holdback" && hasValue) {
            holdbackMs = number(argv[++i], holdbackMs, 0);
        } else if (arg == "--flush") {
            flush = true;
        } else {
            std::fprintf(stderr,
                         "usage: bench_link [--runs N] [--low-runs N] [--low-baud B] "
                         "[--holdback MS] [--flush]\n");
            return 2;
        }
    }
    QApplication app(argc, argv);
    std::printf(
        "wire = bytes both ways x %u / baud; overhead = measured / wire - 1.\n"
        "The pty does not pace the console's requests, so also: added = (measured - the "
        "replies' line time) / wire,\nand console = (time from a reply's arrival until its "
        "request leaves the console) / wire.\n",
        kBitsPerByte);
    std::vector<std::pair<std::uint32_t, int>> plan{{115200, runs}};
    if (lowRuns > 0) plan.emplace_back(lowBaud, lowRuns);
    std::vector<Outcome> outcomes;
    std::vector<int> holdbacks{0};
    if (holdbackMs > 0) holdbacks.push_back(holdbackMs);
    for (const auto& [baud, count] : plan) {
        for (int holdback : holdbacks) {
            const auto outcome = measure(baud, count, flush, holdback);
            if (!outcome) return 1;
            outcomes.push_back(*outcome);
        }
    }
    compare(outcomes);
    return 0;
}

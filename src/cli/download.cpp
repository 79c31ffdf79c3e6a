// `qtx download`: Establish Link on the given device, then "Download Screen Image" and "Save
// QTX Frame", or "Download All" into numbered files, exactly as the window runs them.
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <optional>

#include "cli_host.hpp"
#include "commands.hpp"
#include "console.hpp"
#include "link/frame.hpp"
#include "progress_meter.hpp"
#include "save_tally.hpp"
#include "termination.hpp"
#include "text/numtext.hpp"

namespace qtx::cli {

namespace {

constexpr int kDefaultTimeoutS = 30;
constexpr int kMaxTimeoutS = 24 * 3600;
// How long the QTX has to answer the switch to remote operation before the command is sent
// all the same (a silent QTX then ends in the console's own "Communication Failed").
constexpr int kLinkGraceMs = 2000;
// Progress: a terminal line is rewritten a few times a second, a log gets a line a second.
constexpr qint64 kTerminalPeriodMs = 250;
constexpr qint64 kLogPeriodMs = 1000;

// What the console says when an exchange can go no further.
const std::string kCommunicationFailed = "Communication Failed";
const std::string kBuffersEmpty = "QTX data buffers are empty";

std::string number(double value) { return formatPattern(value, "0"); }

std::optional<int> wholeIn(const std::string& text, int low, int high) {
    const auto v = readWholeNumber(text);
    if (!v || *v != roundHalfEven(*v) || *v < low || *v > high) return std::nullopt;
    return static_cast<int>(*v);
}

struct DownloadOptions {
    QString device;
    std::optional<int> baud;
    bool all = false;
    int timeoutS = kDefaultTimeoutS;
    std::string path;
};

DownloadOptions readOptions(const Invocation& call) {
    DownloadOptions options;
    options.device = QString::fromLocal8Bit(call.value("port"));
    if (call.has("baud")) options.baud = wholeIn(call.value("baud"), 0, 115200);
    options.all = call.has("all");
    if (call.has("timeout")) options.timeoutS = *wholeIn(call.value("timeout"), 1, kMaxTimeoutS);
    options.path = call.operands.at(0);
    return options;
}

class Download : public QObject, public HostListener {
  public:
    explicit Download(DownloadOptions options)
        : options(std::move(options)),
          output(stderr, ::isatty(STDERR_FILENO) == 1),
          meter(::isatty(STDERR_FILENO) == 1 ? kTerminalPeriodMs : kLogPeriodMs),
          host(PortMap{this->options.device, QString()}, *this) {
        host.attach(console);
        clock.start();
        silence.setSingleShot(true);
        silence.setInterval(this->options.timeoutS * 1000);
        connect(&silence, &QTimer::timeout, this, [this] {
            finish(kExitFailed,
                   "qtx: no answer from the QTX for " + number(this->options.timeoutS) + " s");
        });
        connect(&host, &ShellHost::portLost, this,
                [this] { later([this] { finish(kExitFailed); }); });
        connect(&termination, &TerminationWatcher::terminationRequested, this,
                [this](int signal) { finish(128 + signal, "qtx: interrupted"); });
    }

    int exec() {
        later([this] { start(); });
        QCoreApplication::exec();
        return status;
    }

    // HostListener: what the console shows and sends.
    void text(TextBox box, const std::string& text) override {
        if (box != TextBox::PCtext) return;
        stillGoing();
        if (text != lastText) output.line(plainLines(text));
        lastText = text;
        if (phase == Phase::Linking)
            later([this] {
                if (phase == Phase::Linking && console.link.linkup) begin();
            });
        if (phase == Phase::Transfer && (text == kCommunicationFailed || text == kBuffersEmpty)) {
            later([this] { finish(kExitFailed); });
        }
    }
    void message(const std::string& text) override {
        output.line(plainLines(text));
        lastText.clear();
        // A refusal while fetching leaves nothing more to wait for.
        if (phase == Phase::Transfer) later([this] { finish(kExitFailed); });
    }
    void sent(std::span<const std::uint8_t> frame) override {
        tally.sent(frame);
        stillGoing();
        if (phase == Phase::Transfer && frame.size() >= kHeaderSize &&
            frame[1] == CMD_DOWNLOAD_END) {
            later([this] { transferEnded(); });
        }
    }
    void progress(const Progress& p) override {
        stillGoing();
        if (const auto shown = meter.update(p, clock.elapsed()))
            output.progress(shown->text.toStdString());
    }
    void progressHidden() override {
        meter.stop();
        output.clearProgress();
    }

  private:
    enum class Phase { Starting, Linking, Transfer, Saving, Done };

    void stillGoing() {
        if (silence.isActive()) silence.start();
    }

    template <class F>
    void later(F step) {
        QTimer::singleShot(0, this, step);
    }

    void start() {
        // As in the window: the speed is chosen first, then Establish Link opens COM1 with it.
        if (options.baud) console.setBaud(*options.baud);
        console.establishLink(1);
        if (!console.link.portopen) {
            finish(kExitFailed);
            return;
        }
        phase = Phase::Linking;
        silence.start();
        QTimer::singleShot(kLinkGraceMs, this, [this] {
            if (phase == Phase::Linking) begin();
        });
    }

    void begin() {
        phase = Phase::Transfer;
        host.answerFileDialogs(options.path);
        if (options.all) {
            console.mnuflashdownload_Click();
        } else {
            console.mnudownloadlight_Click();
        }
    }

    void transferEnded() {
        if (phase != Phase::Transfer) return;
        if (!options.all) {
            phase = Phase::Saving;
            console.mnuCompSave_Click();
        }
        const std::string images =
            number(tally.images()) + (tally.images() == 1 ? " image" : " images");
        if (tally.allWritten()) {
            finish(kExitOk, "qtx: " + images + " written");
        } else {
            finish(kExitFailed, "qtx: " + number(tally.written()) + " of " + images + " written");
        }
    }

    // Ends the run once: the QTX leaves remote operation, the port closes, the loop ends.
    void finish(int exitStatus, const std::string& why = {}) {
        if (phase == Phase::Done) return;
        phase = Phase::Done;
        status = exitStatus;
        silence.stop();
        output.clearProgress();
        if (!why.empty()) output.line(why);
        console.closeLink();
    }

    DownloadOptions options;
    StatusOutput output;
    ProgressMeter meter;
    QElapsedTimer clock;
    CliHost host;
    Console console{host};
    TerminationWatcher termination;
    // The exchange stood still this long: the console sent nothing, said nothing new and
    // showed no progress. Bytes alone do not count, so a line of noise cannot hold it open.
    QTimer silence;
    SaveTally tally;
    Phase phase = Phase::Starting;
    std::string lastText;
    int status = kExitFailed;
};

}  // namespace

std::string checkDownload(const Invocation& call) {
    if (!call.has("port") || call.value("port").empty()) return "'--port DEV' is required";
    if (call.has("baud")) {
        const auto baud = wholeIn(call.value("baud"), 0, 115200);
        if (!baud || (*baud != 19200 && *baud != 38400 && *baud != 57600 && *baud != 115200)) {
            return "'--baud' is one of 19200, 38400, 57600 and 115200, not '" + call.value("baud") +
                   "'";
        }
    }
    if (call.has("timeout") && !wholeIn(call.value("timeout"), 1, kMaxTimeoutS)) {
        return "'--timeout' is a whole number of seconds from 1 to " + number(kMaxTimeoutS) +
               ", not '" + call.value("timeout") + "'";
    }
    if (!call.operands.empty() && call.operands[0].empty()) return "PATH is empty";
    return {};
}

int runDownload(const Invocation& call) {
    Download download(readOptions(call));
    return download.exec();
}

}  // namespace qtx::cli

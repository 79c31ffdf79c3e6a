#include "linked_run.hpp"

#include <unistd.h>

#include <QCoreApplication>
#include <memory>

#include "text/numtext.hpp"

namespace qtx::cli {

namespace {

// How long the QTX has to answer the switch to remote operation before the command is sent
// all the same (a silent QTX then ends in the console's own communication failure).
constexpr int kLinkGraceMs = 2000;
// Progress: a terminal line is rewritten a few times a second, a log gets a line a second.
constexpr qint64 kTerminalPeriodMs = 250;
constexpr qint64 kLogPeriodMs = 1000;
// How long the line must stay silent before the link is set up.
constexpr qint64 kQuietLineMs = 300;

bool stderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

}  // namespace

std::string number(double value) { return formatPattern(value, "0"); }

std::optional<int> wholeIn(const std::string& text, int low, int high) {
    const auto v = readWholeNumber(text);
    if (!v || *v != roundHalfEven(*v) || *v < low || *v > high) return std::nullopt;
    return static_cast<int>(*v);
}

LinkedRun::LinkedRun(LinkOptions linkOptions)
    : host(PortMap{linkOptions.device, QString()}, *this),
      options(std::move(linkOptions)),
      output(stderr, stderrIsTerminal()),
      meter(stderrIsTerminal() ? kTerminalPeriodMs : kLogPeriodMs) {
    connectConsole(host, console, this);
    clock.start();
    silence.setSingleShot(true);
    silence.setInterval(options.timeoutS * 1000);
    connect(&silence, &QTimer::timeout, this, [this] {
        finish(kExitFailed, "qtx: no answer from the QTX for " + number(options.timeoutS) + " s");
    });
    // After the console has said so (it is connected first).
    connect(&host, &ShellHost::deviceLost, this,
            [this] { later([this] { finish(kExitFailed); }); });
    connect(&termination, &TerminationWatcher::terminationRequested, this,
            [this](int signal) { finish(128 + signal, "qtx: interrupted"); });
}

int LinkedRun::exec() {
    later([this] { start(); });
    QCoreApplication::exec();
    return status;
}

void LinkedRun::text(TextBox box, const std::string& text) {
    if (box != TextBox::PCtext) return;
    // Establish Link speaks of COM1 and of a link not yet tried; start() says it in the
    // user's words instead.
    if (phase == Phase::Starting) return;
    stillGoing();
    // While an upload's pages are counted, the progress line says what its status texts say.
    if (text != lastText && !pagesShown) output.line(plainLines(text));
    lastText = text;
}

void LinkedRun::event(const Event& event) {
    if (std::holds_alternative<PortOpened>(event)) portOpened = true;
    if (const auto* failed = std::get_if<PortFailed>(&event)) portFailure = failed->detail;
    if (std::holds_alternative<LinkEstablished>(event) && phase == Phase::Linking) {
        later([this] {
            if (phase == Phase::Linking) run();
        });
    }
    if (phase == Phase::Running) reported(event);
}

void LinkedRun::message(const std::string& text) {
    output.line(plainLines(text));
    lastText.clear();
    if (phase == Phase::Running) messageShown(text);
}

void LinkedRun::sent(std::span<const std::uint8_t>) { stillGoing(); }

void LinkedRun::progress(const Progress& p) {
    stillGoing();
    pagesShown = p.kind == Progress::Kind::Pages;
    if (const auto shown = meter.update(p, clock.elapsed())) {
        output.progress(shown->text.toStdString());
    }
}

void LinkedRun::progressHidden() {
    meter.stop();
    pagesShown = false;
    output.clearProgress();
}

void LinkedRun::stillGoing() {
    if (silence.isActive()) silence.start();
}

void LinkedRun::start() {
    // Before the port opens: a log that cannot be made ends the run before the QTX is told
    // anything.
    if (!options.logPath.empty()) {
        if (const std::string problem = log.create(options.logPath); !problem.empty()) {
            finish(kExitFailed, "qtx: " + problem);
            return;
        }
        host.setTrafficLog(&log);
    }
    // As in the window: the speed is chosen first, then Establish Link opens COM1 with it.
    if (options.baud) console.setBaud(*options.baud);
    waitForQuietLine();
}

// A QTX may still be sending what an earlier run asked for (a run killed in mid-transfer);
// read as answers to this run, those bytes would start it out of step. The line is listened
// to, unanswered and unseen by the console, until it has been quiet for a moment.
void LinkedRun::waitForQuietLine() {
    const std::string settings = number(options.baud.value_or(115200)) + ",N,8,2";
    host.blockSignals(true);
    if (!host.openPort(1, settings)) {
        host.blockSignals(false);
        establish();  // which says why
        return;
    }
    auto* poll = new QTimer(this);
    auto quiet = std::make_shared<QElapsedTimer>();
    quiet->start();
    connect(poll, &QTimer::timeout, this, [this, poll, quiet] {
        const bool ended = phase == Phase::Done;  // interrupted meanwhile
        if (!host.readAll().empty()) quiet->start();
        if (!ended && quiet->elapsed() < kQuietLineMs &&
            clock.elapsed() < options.timeoutS * 1000) {
            return;
        }
        poll->deleteLater();
        host.closePort();
        host.blockSignals(false);
        if (!ended) establish();
    });
    poll->start(20);
}

void LinkedRun::establish() {
    console.establishLink(1);
    if (!portOpened) {
        finish(kExitFailed,
               "qtx: " + (portFailure.empty() ? "cannot open " + options.device.toStdString()
                                              : portFailure));
        return;
    }
    phase = Phase::Linking;
    silence.start();
    QTimer::singleShot(kLinkGraceMs, this, [this] {
        if (phase == Phase::Linking) run();
    });
}

void LinkedRun::run() {
    phase = Phase::Running;
    begin();
}

void LinkedRun::finish(int exitStatus, const std::string& why) {
    if (phase == Phase::Done) return;
    phase = Phase::Done;
    status = exitStatus;
    silence.stop();
    output.clearProgress();
    if (!why.empty()) output.line(why);
    console.closeLink();  // which also ends the event loop
}

}  // namespace qtx::cli

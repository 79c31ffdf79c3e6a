// What the commands that talk to a QTX share: the traffic log (--log), Establish Link on
// --port (at --baud), a grace for the QTX to answer, then the command's own menu procedure.
// The run ends on the command's outcome, on a lost device, on silence for --timeout seconds
// or on a signal, and always leaves the QTX out of remote operation with the port closed.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <optional>
#include <string>

#include "cli_host.hpp"
#include "command_line.hpp"
#include "console.hpp"
#include "progress_meter.hpp"
#include "termination.hpp"

namespace qtx::cli {

// A number as the console writes it, without a fraction.
std::string number(double value);
// A whole number written in `text`, within low..high.
std::optional<int> wholeIn(const std::string& text, int low, int high);

struct LinkOptions {
    QString device;
    std::optional<int> baud;
    int timeoutS = 30;
    std::string logPath;  // the traffic log to create ("" for none)
};

class LinkedRun : public QObject, public HostListener {
  public:
    explicit LinkedRun(LinkOptions options);

    // Runs until finish(); the exit status.
    int exec();

    void text(TextBox box, const std::string& text) override;
    void message(const std::string& text) override;
    void sent(std::span<const std::uint8_t> frame) override;
    void progress(const Progress& p) override;
    void progressHidden() override;
    void event(const Event& event) override;

  protected:
    // The link is up, or its grace is over: start the command's menu procedure.
    virtual void begin() = 0;
    // Each message box, once begin() ran.
    virtual void messageShown(const std::string& /*text*/) {}
    // What happened, once begin() ran.
    virtual void reported(const Event& /*event*/) {}

    bool running() const { return phase == Phase::Running; }
    // The outcome no longer depends on the QTX (the console's own timer takes it from here).
    void stopSilenceTimer() { silence.stop(); }

    template <class F>
    void later(F step) {
        QTimer::singleShot(0, this, step);
    }

    // Ends the run once: the QTX leaves remote operation, the port closes, the loop ends.
    void finish(int exitStatus, const std::string& why = {});

    TrafficLog log;  // before the host, which writes to it until the end
    CliHost host;
    Console console{host};

  private:
    enum class Phase { Starting, Linking, Running, Done };

    void start();
    void waitForQuietLine();
    void establish();
    void run();
    void stillGoing();

    LinkOptions options;
    StatusOutput output;
    ProgressMeter meter;
    QElapsedTimer clock;
    TerminationWatcher termination;
    // The exchange stood still this long: the console sent nothing, said nothing new and
    // showed no progress. Bytes alone do not count, so a line of noise cannot hold it open.
    QTimer silence;
    Phase phase = Phase::Starting;
    bool portOpened = false;
    bool pagesShown = false;  // an upload's progress line counts its pages
    std::string lastText;
    std::string portFailure;  // why the port could not be opened
    int status = kExitFailed;
};

}  // namespace qtx::cli

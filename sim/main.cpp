// qtx-sim: the simulated QTX on a pseudo-terminal. Prints the device path as its first line
// of output, then serves until SIGINT or SIGTERM.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#ifdef __linux__
#include <sys/prctl.h>
#endif

#include "command_options.hpp"
#include "pty/pty_server.hpp"
#include "text/numtext.hpp"

namespace {

using qtx::options::valueOption;
using qtx::sim::CorruptWhere;

std::string quoted(const std::string& text) { return "'" + text + "'"; }

// Whole numbers and fractions as written, in any locale; nullopt when the text is not one.
std::optional<std::uint64_t> whole(std::string_view text, std::uint64_t max) {
    std::uint64_t v = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size() || v > max) {
        return std::nullopt;
    }
    return v;
}

std::string wholeProblem(std::string_view text, std::uint64_t max) {
    return "a whole number up to " + std::to_string(max) + ", not " + quoted(std::string(text));
}

std::optional<double> fraction(std::string_view text) {
    const auto v = qtx::readWholeNumber(text);
    if (!v || !(*v >= 0.0 && *v <= 1.0)) return std::nullopt;
    return v;
}

const std::string kFractionProblem = "a fraction from 0 to 1, not ";

// Takes a whole number up to max into `into`.
template <class T>
std::function<std::string(const std::string&)> wholeInto(T& into, std::uint64_t max) {
    return [&into, max](const std::string& text) {
        const auto v = whole(text, max);
        if (v) into = static_cast<T>(*v);
        return v ? "" : wholeProblem(text, max);
    };
}

std::function<std::string(const std::string&)> fractionInto(double& into) {
    return [&into](const std::string& text) {
        const auto v = fraction(text);
        if (v) into = *v;
        return v ? "" : kFractionProblem + quoted(text);
    };
}

// F:MS, a fraction of the frames and a delay in milliseconds.
std::function<std::string(const std::string&)> delayInto(double& share, std::uint32_t& ms,
                                                         std::string example) {
    return [&share, &ms, example](const std::string& text) -> std::string {
        const std::size_t colon = text.find(':');
        if (colon == std::string::npos) return "F:MS, for example " + example;
        const auto f = fraction(text.substr(0, colon));
        if (!f) return kFractionProblem + quoted(text.substr(0, colon));
        const auto delay = whole(text.substr(colon + 1), 600000);
        if (!delay) return wholeProblem(text.substr(colon + 1), 600000);
        share = *f;
        ms = static_cast<std::uint32_t>(*delay);
        return {};
    };
}

// Frame numbers from 1, single or low-high, separated by commas: "2,5,9-12".
std::function<std::string(const std::string&)> framesInto(std::set<std::uint32_t>& out) {
    return [&out](const std::string& text) -> std::string {
        constexpr std::size_t kMaxEntries = 1000000;
        const std::string problem = "frame numbers from 1 (ranges low-high), not " + quoted(text);
        out.clear();
        for (std::size_t at = 0; at <= text.size();) {
            const std::size_t comma = std::min(text.find(',', at), text.size());
            const std::string_view item = std::string_view(text).substr(at, comma - at);
            const std::size_t dash = item.find('-');
            const auto lo = whole(item.substr(0, dash), 0xFFFFFFFFULL);
            const auto hi =
                dash == std::string_view::npos ? lo : whole(item.substr(dash + 1), 0xFFFFFFFFULL);
            if (!lo || !hi || *lo == 0 || *hi < *lo || *hi - *lo >= kMaxEntries ||
                out.size() + (*hi - *lo) >= kMaxEntries) {
                return problem;
            }
            for (auto n = *lo; n <= *hi; ++n) out.insert(static_cast<std::uint32_t>(n));
            at = comma + 1;
        }
        return {};
    };
}

[[noreturn]] void fail(const std::string& message) {
    std::fprintf(stderr, "qtx-sim: %s\nTry 'qtx-sim --help'.\n", message.c_str());
    std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
    qtx::sim::ModelOptions model;
    qtx::sim::ServerOptions server;
    std::optional<std::uint64_t> faultSeed;
    std::string logPath;
    bool exitWithParent = false;

    CLI::App app(
        "Serves a simulated QTX camera and autoguider on a pseudo-terminal. The first line of "
        "output is the device path to give the console as its serial port (qtx-console --com1 "
        "PATH).",
        "qtx-sim");
    qtx::options::prepare(app, 28);
    // As it always did, a later option wins over an earlier one: scripts add to a common line.
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.footer(qtx::options::paragraphs(
        "Signals: SIGINT and SIGTERM stop it; SIGUSR1 makes it ask for the link; SIGUSR2 "
        "presses its Image key (a new exposure into buffer 31, offered to the console)."));

    valueOption(app, "--baud", "N", "line speed in baud (default 115200)",
                [&](const std::string& text) -> std::string {
                    const auto baud = whole(text, 4000000);
                    if (!baud) return wholeProblem(text, 4000000);
                    if (*baud < 50) return "at least 50, not " + quoted(text);
                    server.baud = static_cast<std::uint32_t>(*baud);
                    return {};
                })
        ->group("Line");
    valueOption(app, "--stop-bits", "N", "1 or 2 (default 2: 11 bits a byte, as 8N2)",
                [&](const std::string& text) -> std::string {
                    const auto bits = whole(text, 2);
                    if (!bits || *bits < 1) return "1 or 2, not " + quoted(text);
                    server.bitsPerByte = static_cast<std::uint32_t>(9 + *bits);
                    return {};
                })
        ->group("Line");
    valueOption(app, "--holdback", "MS",
                "reach the console as through a USB serial adapter whose latency timer is MS "
                "milliseconds (16 on FTDI adapters): its answers come in packets of 62 bytes, "
                "the tail of each only when the line has been quiet for MS (default 0: a plain "
                "serial port)",
                wholeInto(server.holdbackMs, 10000))
        ->group("Line");
    app.add_option("--log", logPath,
                   "append every frame both ways to FILE, in hex with the code name and the "
                   "seconds since start at which it was received or made (\"-\" for the standard "
                   "error)")
        ->option_text("FILE")
        ->group("Line");

    const std::string instrument = "Instrument";
    valueOption(app, "--seed", "N", "seed of its images and readings (default 1)",
                wholeInto(model.seed, UINT64_MAX))
        ->group(instrument);
    qtx::options::flagOption(app, "--flash-offer", model.flashOfferOnRemote,
                             "offer all buffers (MSG_FLASH_OFFER) when first put under remote")
        ->group(instrument);
    qtx::options::flagOption(app, "--link-request", model.linkRequestOnContact,
                             "ask for the link (MSG_LINK_REQUEST) when the console first speaks")
        ->group(instrument);

    const std::string faults = "Faults (deterministic from --fault-seed, default the --seed)";
    qtx::sim::FaultPlan& answers = model.faults;
    valueOption(app, "--fault-seed", "N", "seed of the fault decisions",
                [&](const std::string& text) {
                    std::uint64_t seed = 0;
                    const std::string problem = wholeInto(seed, UINT64_MAX)(text);
                    if (problem.empty()) faultSeed = seed;
                    return problem;
                })
        ->group(faults);
    valueOption(app, "--drop", "F", "drop the fraction F (0..1) of its frames",
                fractionInto(answers.drop))
        ->group(faults);
    valueOption(app, "--corrupt", "F", "send the fraction F with a failing checksum",
                fractionInto(answers.corrupt))
        ->group(faults);
    valueOption(app, "--corrupt-where", "W",
                "where to damage them: header, payload or any (default any)",
                [&](const std::string& text) -> std::string {
                    if (text == "header") {
                        answers.corruptWhere = CorruptWhere::Header;
                    } else if (text == "payload") {
                        answers.corruptWhere = CorruptWhere::Payload;
                    } else if (text == "any") {
                        answers.corruptWhere = CorruptWhere::Any;
                    } else {
                        return "header, payload or any, not " + quoted(text);
                    }
                    return {};
                })
        ->group(faults);
    valueOption(app, "--delay", "F:MS", "hold back the fraction F of its frames by MS milliseconds",
                delayInto(answers.delay, answers.delayMs, "0.1:300"))
        ->group(faults);
    valueOption(app, "--drop-frames", "LIST",
                "never send these frames, numbered from 1 (for example 2,5,9-12)",
                framesInto(answers.dropFrames))
        ->group(faults);
    valueOption(app, "--corrupt-frames", "LIST", "send these frames with a failing checksum",
                framesInto(answers.corruptFrames))
        ->group(faults);
    valueOption(app, "--garbage", "F",
                "send a few garbage bytes before the fraction F of its frames",
                fractionInto(answers.garbage))
        ->group(faults);
    qtx::options::flagOption(app, "--silent", answers.silent, "listen but never answer")
        ->group(faults);
    valueOption(app, "--pause", "F:MS",
                "answer the fraction F of requests only after a pause of MS milliseconds "
                "(longer than the console's watchdog interval, the console repeats the request "
                "while the QTX is still thinking)",
                delayInto(model.requestFaults.delay, model.requestFaults.delayMs, "0.1:1500"))
        ->group(faults);

    const std::string requests =
        "Faults on the requests, before the QTX reads them (seeded apart from those above)";
    qtx::sim::FaultPlan& asked = model.requestFaults;
    valueOption(app, "--request-drop", "F", "lose the fraction F of the console's frames",
                fractionInto(asked.drop))
        ->group(requests);
    valueOption(app, "--request-corrupt", "F",
                "damage the fraction F so that their checksum fails (--corrupt-where applies to "
                "these too)",
                fractionInto(asked.corrupt))
        ->group(requests);
    valueOption(app, "--request-garbage", "F",
                "put a few garbage bytes before the fraction F of them",
                fractionInto(asked.garbage))
        ->group(requests);
    valueOption(app, "--request-drop-frames", "LIST",
                "lose these frames, numbered from 1 as they arrive", framesInto(asked.dropFrames))
        ->group(requests);
    valueOption(app, "--request-corrupt-frames", "LIST", "damage these frames",
                framesInto(asked.corruptFrames))
        ->group(requests);

    qtx::options::flagOption(app, "--exit-with-parent", exitWithParent,
                             "stop when the process that started it ends")
        ->group("Program");
    app.set_help_flag("-h,--help", "this text")->group("Program");  // last, as its group

    if (const auto answered = qtx::options::parse(app, {argv + std::min(argc, 1), argv + argc})) {
        return *answered;
    }
    model.faults.seed = faultSeed.value_or(model.seed);
    // Its own stream of decisions: a fault on a request never shifts those on the answers.
    model.requestFaults.seed = qtx::sim::mixSeed(model.faults.seed, 0x5EC0);
    model.requestFaults.corruptWhere = model.faults.corruptWhere;

    std::FILE* log = nullptr;
    if (logPath == "-") {
        server.log = stderr;
    } else if (!logPath.empty()) {
        // Appended to, never truncated: an earlier log is not lost to a new run.
        log = std::fopen(logPath.c_str(), "a");
        if (!log) fail("cannot open the log " + logPath + ": " + std::strerror(errno));
        server.log = log;
    }

    // The signals are taken by sigtimedwait below; blocked before the server thread starts
    // so that it inherits the mask and never receives them itself.
    sigset_t signals;
    sigemptyset(&signals);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGUSR2}) sigaddset(&signals, s);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    const pid_t parent = getppid();
#ifdef __linux__
    if (exitWithParent) prctl(PR_SET_PDEATHSIG, SIGTERM);
#endif

    qtx::sim::PtyServer pty(model, server);
    if (!pty.start()) fail(pty.error());
    std::printf("%s\n", pty.slavePath().c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "qtx-sim: serving on %s at %u baud\n", pty.slavePath().c_str(),
                 server.baud);

    for (;;) {
        const timespec second{1, 0};
        const int s = sigtimedwait(&signals, nullptr, &second);
        if (s == SIGINT || s == SIGTERM || s == SIGHUP) break;
        if (s == SIGUSR1) pty.withModel([](qtx::sim::QtxModel& m) { m.requestLink(); });
        if (s == SIGUSR2)
            pty.withModel([](qtx::sim::QtxModel& m) { m.pressKey(qtx::sim::key::kImage); });
        if (exitWithParent && getppid() != parent) break;
    }
    pty.stop();
    if (log) std::fclose(log);
    return 0;
}

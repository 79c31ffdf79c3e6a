// qtx-sim: the simulated QTX on a pseudo-terminal. Prints the device path as its first line
// of output, then serves until SIGINT or SIGTERM.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#ifdef __linux__
#include <sys/prctl.h>
#endif

#include "pty/pty_server.hpp"

namespace {

using qtx::sim::CorruptWhere;

constexpr const char* kUsage = R"(Usage: qtx-sim [options]

Serves a simulated QTX camera and autoguider on a pseudo-terminal. The first line of output
is the device path to give the console as its serial port (qtx-console --com1 PATH).

Line:
  --baud N              line speed in baud (default 115200)
  --stop-bits N         1 or 2 (default 2: 11 bits a byte, as 8N2)
  --holdback MS         reach the console as through a USB serial adapter whose latency
                        timer is MS milliseconds (16 on FTDI adapters): its answers come in
                        packets of 62 bytes, the tail of each only when the line has been
                        quiet for MS (default 0: a plain serial port)
  --log FILE            append every frame both ways to FILE, in hex with the code name
                        and the seconds since start at which it was received or made
                        ("-" for the standard error)

Instrument:
  --seed N              seed of its images and readings (default 1)
  --flash-offer         offer all buffers (MSG_FLASH_OFFER) when first put under remote
  --link-request        ask for the link (MSG_LINK_REQUEST) when the console first speaks

Faults (deterministic from --fault-seed, default the --seed):
  --fault-seed N        seed of the fault decisions
  --drop F              drop the fraction F (0..1) of its frames
  --corrupt F           send the fraction F with a failing checksum
  --corrupt-where W     where to damage them: header, payload or any (default any)
  --delay F:MS          hold back the fraction F of its frames by MS milliseconds
  --drop-frames LIST    never send these frames, numbered from 1 (for example 2,5,9-12)
  --corrupt-frames LIST send these frames with a failing checksum
  --garbage F           send a few garbage bytes before the fraction F of its frames
  --silent              listen but never answer
  --pause F:MS          answer the fraction F of requests only after a pause of MS
                        milliseconds (longer than the console's watchdog interval, the
                        console repeats the request while the QTX is still thinking)

Faults on the requests, before the QTX reads them (seeded apart from those above):
  --request-drop F      lose the fraction F of the console's frames
  --request-corrupt F   damage the fraction F so that their checksum fails
                        (--corrupt-where applies to these too)
  --request-garbage F   put a few garbage bytes before the fraction F of them
  --request-drop-frames LIST, --request-corrupt-frames LIST
                        the same for chosen frames, numbered from 1 as they arrive

Program:
  --exit-with-parent    stop when the process that started it ends
  --help                this text

Signals: SIGINT and SIGTERM stop it; SIGUSR1 makes it ask for the link; SIGUSR2 presses
its Image key (a new exposure into buffer 31, offered to the console).
)";

[[noreturn]] void fail(const std::string& message) {
    std::fprintf(stderr, "qtx-sim: %s\nTry 'qtx-sim --help'.\n", message.c_str());
    std::exit(2);
}

std::uint64_t wholeNumber(std::string_view option, const std::string& text, std::uint64_t max) {
    errno = 0;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text.c_str(), &end, 10);
    if (text.empty() || text[0] == '-' || *end != '\0' || errno != 0 || v > max) {
        fail(std::string(option) + " needs a whole number up to " + std::to_string(max) +
             ", not '" + text + "'");
    }
    return v;
}

double fraction(std::string_view option, const std::string& text) {
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno != 0 || !(v >= 0.0 && v <= 1.0)) {
        fail(std::string(option) + " needs a fraction from 0 to 1, not '" + text + "'");
    }
    return v;
}

std::set<std::uint32_t> frameList(std::string_view option, const std::string& text) {
    constexpr std::size_t kMaxEntries = 1000000;
    std::set<std::uint32_t> out;
    std::size_t at = 0;
    while (at <= text.size()) {
        const std::size_t comma = std::min(text.find(',', at), text.size());
        const std::string item = text.substr(at, comma - at);
        const std::size_t dash = item.find('-');
        const auto lo = wholeNumber(option, item.substr(0, dash), 0xFFFFFFFFULL);
        const auto hi = dash == std::string::npos
                            ? lo
                            : wholeNumber(option, item.substr(dash + 1), 0xFFFFFFFFULL);
        if (lo == 0 || hi < lo || hi - lo >= kMaxEntries || out.size() + (hi - lo) >= kMaxEntries) {
            fail(std::string(option) + " needs frame numbers from 1 (ranges low-high), not '" +
                 text + "'");
        }
        for (auto n = lo; n <= hi; ++n) out.insert(static_cast<std::uint32_t>(n));
        at = comma + 1;
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    qtx::sim::ModelOptions model;
    qtx::sim::ServerOptions server;
    std::optional<std::uint64_t> faultSeed;
    std::string logPath;
    bool exitWithParent = false;

    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) fail(std::string(arg) + " needs a value");
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--baud") {
            server.baud = static_cast<std::uint32_t>(wholeNumber(arg, value(), 4000000));
            if (server.baud < 50) fail("--baud needs at least 50");
        } else if (arg == "--stop-bits") {
            const auto bits = wholeNumber(arg, value(), 2);
            if (bits < 1) fail("--stop-bits is 1 or 2");
            server.bitsPerByte = static_cast<std::uint32_t>(9 + bits);
        } else if (arg == "--holdback") {
            server.holdbackMs = static_cast<int>(wholeNumber(arg, value(), 10000));
        } else if (arg == "--log") {
            logPath = value();
        } else if (arg == "--seed") {
            model.seed = wholeNumber(arg, value(), UINT64_MAX);
        } else if (arg == "--fault-seed") {
            faultSeed = wholeNumber(arg, value(), UINT64_MAX);
        } else if (arg == "--flash-offer") {
            model.flashOfferOnRemote = true;
        } else if (arg == "--link-request") {
            model.linkRequestOnContact = true;
        } else if (arg == "--drop") {
            model.faults.drop = fraction(arg, value());
        } else if (arg == "--corrupt") {
            model.faults.corrupt = fraction(arg, value());
        } else if (arg == "--corrupt-where") {
            const std::string w = value();
            if (w == "header") {
                model.faults.corruptWhere = CorruptWhere::Header;
            } else if (w == "payload") {
                model.faults.corruptWhere = CorruptWhere::Payload;
            } else if (w == "any") {
                model.faults.corruptWhere = CorruptWhere::Any;
            } else {
                fail("--corrupt-where is header, payload or any");
            }
        } else if (arg == "--delay") {
            const std::string v = value();
            const std::size_t colon = v.find(':');
            if (colon == std::string::npos) fail("--delay needs F:MS, for example 0.1:300");
            model.faults.delay = fraction(arg, v.substr(0, colon));
            model.faults.delayMs =
                static_cast<std::uint32_t>(wholeNumber(arg, v.substr(colon + 1), 600000));
        } else if (arg == "--drop-frames") {
            model.faults.dropFrames = frameList(arg, value());
        } else if (arg == "--corrupt-frames") {
            model.faults.corruptFrames = frameList(arg, value());
        } else if (arg == "--garbage") {
            model.faults.garbage = fraction(arg, value());
        } else if (arg == "--pause") {
            const std::string v = value();
            const std::size_t colon = v.find(':');
            if (colon == std::string::npos) fail("--pause needs F:MS, for example 0.1:1500");
            model.requestFaults.delay = fraction(arg, v.substr(0, colon));
            model.requestFaults.delayMs =
                static_cast<std::uint32_t>(wholeNumber(arg, v.substr(colon + 1), 600000));
        } else if (arg == "--request-drop") {
            model.requestFaults.drop = fraction(arg, value());
        } else if (arg == "--request-corrupt") {
            model.requestFaults.corrupt = fraction(arg, value());
        } else if (arg == "--request-garbage") {
            model.requestFaults.garbage = fraction(arg, value());
        } else if (arg == "--request-drop-frames") {
            model.requestFaults.dropFrames = frameList(arg, value());
        } else if (arg == "--request-corrupt-frames") {
            model.requestFaults.corruptFrames = frameList(arg, value());
        } else if (arg == "--silent") {
            model.faults.silent = true;
        } else if (arg == "--exit-with-parent") {
            exitWithParent = true;
        } else {
            fail("unknown option '" + std::string(arg) + "'");
        }
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

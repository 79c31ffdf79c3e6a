// Downloads through a damaged line: the console's core on a fake host, wired in-process to
// the simulated QTX with faults on one direction, the watchdog ticked whenever the line falls
// quiet. Every download must end with the QTX's image exactly, or in "Communication Failed".
// Shared by the suite (a few downloads a cell) and bench/fault_matrix (the full table).
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "console.hpp"
#include "fake_host.hpp"
#include "link/frame.hpp"
#include "model/qtx_model.hpp"

namespace qtx::sim::matrix {

enum class Fault { Drop, Corrupt, Pause, Garbage };
enum class Way { ToQtx, FromQtx };

inline const char* name(Fault f) {
    switch (f) {
        case Fault::Drop:
            return "dropped";
        case Fault::Corrupt:
            return "damaged";
        case Fault::Pause:
            return "paused";
        case Fault::Garbage:
            return "garbage before";
    }
    return "?";
}
inline const char* name(Way w) { return w == Way::ToQtx ? "requests" : "replies"; }

// A pause outlasts two watchdog intervals: the console has repeated its request twice by then.
inline constexpr std::uint32_t kPauseTicks = 2;

inline FaultPlan planFor(Fault fault, double rate, std::uint64_t seed) {
    FaultPlan plan;
    plan.seed = seed;
    switch (fault) {
        case Fault::Drop:
            plan.drop = rate;
            break;
        case Fault::Corrupt:
            plan.corrupt = rate;
            break;
        case Fault::Garbage:
            plan.garbage = rate;
            break;
        case Fault::Pause:
            plan.delay = rate;
            plan.delayTicks = kPauseTicks;
            break;
    }
    return plan;
}

// The line between the two, holding back what the fault plan delays; what follows a held
// emission waits behind it. With a piece size the answers arrive in several receive events,
// as from a real port.
class Line {
  public:
    explicit Line(const ModelOptions& options = {}, std::size_t piece = 0)
        : model(options), piece(piece) {}

    void pump() {
        for (int round = 0; round < 100000; ++round) {
            bool moved = false;
            while (fed < host.written.size()) {
                model.receive(host.written[fed++]);
                moved = true;
            }
            for (Emission& e : model.takeEmissions()) held.push_back(std::move(e));
            std::vector<std::uint8_t> ready;
            while (!held.empty() && held.front().delayTicks == 0) {
                ready.insert(ready.end(), held.front().bytes.begin(), held.front().bytes.end());
                held.pop_front();
            }
            const std::size_t step = piece == 0 ? std::max<std::size_t>(ready.size(), 1) : piece;
            for (std::size_t at = 0; at < ready.size(); at += step) {
                host.incoming.insert(
                    host.incoming.end(), ready.begin() + static_cast<long>(at),
                    ready.begin() + static_cast<long>(std::min(ready.size(), at + step)));
                console.onSerialEvent(SerialEvent::DataReceived);
                moved = true;
            }
            if (!moved) return;
        }
        stuck = true;
    }

    // What the console wrote so far never reaches the QTX (and is not kept).
    void forgetWritten() {
        host.written.clear();
        fed = 0;
    }

    // One watchdog interval passes.
    void tick() {
        model.lineIdle();
        console.watchdogTick();
        for (Emission& e : held) {
            if (e.delayTicks > 0) --e.delayTicks;
        }
    }

    qtx::test::FakeHost host;
    Console console{host};
    QtxModel model;
    bool stuck = false;  // the exchange never settled

  private:
    std::size_t piece;
    std::deque<Emission> held;
    std::size_t fed = 0;
};

enum class Outcome { Whole, Failed, Wrong };

struct Download {
    Outcome outcome = Outcome::Wrong;
    int repeats = 0;     // requests beyond the one per row, track row and header
    std::string detail;  // what was wrong
};

inline bool hasTrackRow(const ImageBuffer& b) {
    return b.header.numexposures > 1 || (b.header.flags & (kFlagMosaic40 | kFlagMosaic6)) != 0;
}

// Buffers holding an image: every kind the QTX keeps.
inline std::vector<int> imageBuffers(const QtxModel& model) {
    std::vector<int> out;
    for (int n = 0; n < kBufferCount; ++n) {
        if (!model.buffer(n).empty() && model.buffer(n).header.height > 0) out.push_back(n);
    }
    return out;
}

inline Download download(Line& line, int n) {
    Console& console = line.console;
    const std::size_t before = line.host.written.size();
    console.reception.headerpending = true;
    console.reception.bufferindex = static_cast<std::int16_t>(n);
    console.watchdogRestart(console.link.longinterval);
    console.requestheader(static_cast<std::int16_t>(n));
    for (int tick = 0; tick < 5000 && !line.stuck; ++tick) {
        line.pump();
        if (console.reception.imagecomplete || !line.host.timerRunning) break;
        line.tick();
    }

    Download d;
    const ImageBuffer& b = line.model.buffer(n);
    int requests = 0;
    for (std::size_t i = before; i < line.host.written.size(); ++i) {
        const auto& w = line.host.written[i];
        const std::uint8_t code = w.size() > 1 ? w[1] : 0;
        requests += code == CMD_HEADER_REQ || code == CMD_ROW_REQ || code == CMD_ROW_RAW;
    }
    d.repeats = requests - 1 - std::min<int>(b.header.height, 200) - (hasTrackRow(b) ? 1 : 0);

    const ImageRecord& r = console.record;
    const std::string pc = line.host.text(TextBox::PCtext);
    if (!console.reception.imagecomplete) {
        d.outcome = pc == "Communication Failed" ? Outcome::Failed : Outcome::Wrong;
        if (d.outcome == Outcome::Wrong) d.detail = "ended without an image, saying '" + pc + "'";
        return d;
    }
    if (r.imagewidth != b.header.width || r.imageheight != b.header.height) {
        d.detail = "size " + std::to_string(r.imagewidth) + " x " + std::to_string(r.imageheight);
    } else if (r.imagedata.cells != b.pixels) {
        const auto at = std::mismatch(b.pixels.begin(), b.pixels.end(), r.imagedata.cells.begin());
        d.detail = "pixel " + std::to_string(at.first - b.pixels.begin()) + " differs";
    } else if (hasTrackRow(b) &&
               !std::equal(b.trackrow.begin(), b.trackrow.end(),
                           console.reception.tracklist.begin(),
                           [](auto a, auto c) { return static_cast<std::int32_t>(a) == c; })) {
        d.detail = "track row differs";
    } else {
        d.outcome = Outcome::Whole;
    }
    return d;
}

struct Cell {
    int whole = 0, failed = 0, wrong = 0;
    long repeats = 0;                 // over the whole downloads
    std::vector<std::string> wrongs;  // "seed S buffer N: what"
};

inline std::uint64_t cellSeed(Fault f, Way w, double rate, int k) {
    return mixSeed(static_cast<std::uint64_t>(f) * 16 + static_cast<std::uint64_t>(w) * 4 +
                       static_cast<std::uint64_t>(rate * 100),
                   static_cast<std::uint64_t>(k));
}

// `downloads` downloads of the buffers in turn (from the `first`), each on a fresh line with
// its own seed.
inline Cell runCell(Fault fault, Way way, double rate, int downloads, int first = 0) {
    Cell cell;
    std::vector<int> buffers;
    for (int k = 0; k < downloads; ++k) {
        Line line;
        line.console.Form_Load();
        line.pump();
        if (buffers.empty()) buffers = imageBuffers(line.model);
        const std::uint64_t seed = cellSeed(fault, way, rate, k);
        const FaultPlan plan = planFor(fault, rate, seed);
        if (way == Way::ToQtx) {
            line.model.setRequestFaults(plan);
        } else {
            line.model.setFaults(plan);
        }
        const int n = buffers[static_cast<std::size_t>(k + first) % buffers.size()];
        const Download d = download(line, n);
        switch (d.outcome) {
            case Outcome::Whole:
                ++cell.whole;
                cell.repeats += d.repeats;
                break;
            case Outcome::Failed:
                ++cell.failed;
                break;
            case Outcome::Wrong:
                ++cell.wrong;
                cell.wrongs.push_back("seed " + std::to_string(seed) + " buffer " +
                                      std::to_string(n) + ": " + d.detail);
                break;
        }
    }
    return cell;
}

}  // namespace qtx::sim::matrix

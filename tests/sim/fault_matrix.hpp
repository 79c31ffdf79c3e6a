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
    const char* const names[] = {"dropped", "damaged", "paused", "garbage before"};
    return names[static_cast<int>(f)];
}
inline const char* name(Way w) { return w == Way::ToQtx ? "requests" : "replies"; }

inline FaultPlan planFor(Fault fault, double rate, std::uint64_t seed) {
    FaultPlan plan;
    plan.seed = seed;
    if (fault == Fault::Drop) plan.drop = rate;
    if (fault == Fault::Corrupt) plan.corrupt = rate;
    if (fault == Fault::Garbage) plan.garbage = rate;
    if (fault == Fault::Pause) {
        plan.delay = rate;
        plan.delayTicks = 2;  // the console has repeated its request twice by then
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
            for (; fed < host.written.size(); moved = true) model.receive(host.written[fed++]);
            for (Emission& e : model.takeEmissions()) held.push_back(std::move(e));
            std::vector<std::uint8_t> ready;
            for (; !held.empty() && held.front().delayTicks == 0; held.pop_front())
                ready.insert(ready.end(), held.front().bytes.begin(), held.front().bytes.end());
            const std::size_t step = piece == 0 ? std::max<std::size_t>(ready.size(), 1) : piece;
            for (std::size_t at = 0; at < ready.size(); at += step, moved = true) {
                host.incoming.insert(
                    host.incoming.end(), ready.begin() + static_cast<long>(at),
                    ready.begin() + static_cast<long>(std::min(ready.size(), at + step)));
                console.onSerialEvent(SerialEvent::DataReceived);
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
        for (Emission& e : held) e.delayTicks -= e.delayTicks > 0;
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
        const std::uint8_t code = line.host.written[i].size() > 1 ? line.host.written[i][1] : 0;
        requests += code == CMD_HEADER_REQ || code == CMD_ROW_REQ || code == CMD_ROW_RAW;
    }
    d.repeats = requests - 1 - std::min<int>(b.header.height, 200) - (hasTrackRow(b) ? 1 : 0);

    const ImageRecord& r = console.record;
    const std::string pc = line.host.text(TextBox::PCtext);
    if (!console.reception.imagecomplete) {
        d.outcome = pc == "Communication Failed" ? Outcome::Failed : Outcome::Wrong;
        if (d.outcome == Outcome::Wrong) d.detail = "ended without an image, saying '" + pc + "'";
    } else if (r.imagewidth != b.header.width || r.imageheight != b.header.height) {
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

// `downloads` downloads of the buffers holding an image in turn (from the `first`), each on
// a fresh line with its own seed.
inline Cell runCell(Fault fault, Way way, double rate, int downloads, int first = 0) {
    Cell cell;
    std::vector<int> buffers;
    for (int k = 0; k < downloads; ++k) {
        Line line;
        line.console.Form_Load();
        line.pump();
        for (int n = 0; k == 0 && n < kBufferCount; ++n) {
            if (!line.model.buffer(n).empty() && line.model.buffer(n).header.height > 0)
                buffers.push_back(n);
        }
        const std::uint64_t seed =
            mixSeed(static_cast<std::uint64_t>(fault) * 16 + static_cast<std::uint64_t>(way) * 4 +
                        static_cast<std::uint64_t>(rate * 100),
                    static_cast<std::uint64_t>(k));
        const FaultPlan plan = planFor(fault, rate, seed);
        if (way == Way::ToQtx) {
            line.model.setRequestFaults(plan);
        } else {
            line.model.setFaults(plan);
        }
        const int n = buffers[static_cast<std::size_t>(k + first) % buffers.size()];
        const Download d = download(line, n);
        cell.whole += d.outcome == Outcome::Whole;
        cell.failed += d.outcome == Outcome::Failed;
        if (d.outcome == Outcome::Whole) cell.repeats += d.repeats;
        if (d.outcome == Outcome::Wrong) {
            ++cell.wrong;
            cell.wrongs.push_back("seed " + std::to_string(seed) + " buffer " + std::to_string(n) +
                                  ": " + d.detail);
        }
    }
    return cell;
}

}  // namespace qtx::sim::matrix

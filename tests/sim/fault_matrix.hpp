// Downloads through a damaged line: the console's core on a fake host, wired in-process to
// the simulated QTX with faults on one direction, the watchdog ticked whenever the line falls
// quiet. Every download must end with the QTX's image exactly, or in "Communication Failed".
// Shared by the suite (a few downloads a cell) and bench/fault_matrix (the full table).
#pragma once

#include <algorithm>
#include <array>
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
    return std::array{"dropped", "damaged", "paused", "garbage before"}[static_cast<int>(f)];
}
inline const char* name(Way w) { return w == Way::ToQtx ? "requests" : "replies"; }

// The line between the two, holding back what the fault plan delays; what follows a held
// emission waits behind it.
class Line {
  public:
    void pump() {
        for (int round = 0; round < 100000; ++round) {
            const bool fedAny = fed < host.written.size();
            for (; fed < host.written.size(); ++fed) model.receive(host.written[fed]);
            for (Emission& e : model.takeEmissions()) held.push_back(std::move(e));
            const std::size_t before = host.incoming.size();
            for (; !held.empty() && held.front().delayTicks == 0; held.pop_front()) {
                const auto& bytes = held.front().bytes;
                host.incoming.insert(host.incoming.end(), bytes.begin(), bytes.end());
            }
            if (host.incoming.size() > before) {
                console.onSerialEvent(SerialEvent::DataReceived);
            } else if (!fedAny) {
                return;
            }
        }
        stuck = true;
    }

    // What the console wrote so far never reaches the QTX (and is not kept).
    void forgetWritten() {
        host.written.clear();
        fed = 0;
    }

    void tick() {  // one watchdog interval
        model.lineIdle();
        console.watchdogTick();
        for (Emission& e : held) e.delayTicks -= e.delayTicks > 0;
    }

    qtx::test::FakeHost host;
    Console console{host};
    QtxModel model;
    bool stuck = false;  // the exchange never settled

  private:
    std::deque<Emission> held;
    std::size_t fed = 0;
};

// The QTX's own keys put buffer `n` on its screen (buffer 31), as Display and Value do; what
// it says meanwhile is not sent.
inline void showOnScreen(QtxModel& model, int n) {
    model.pressKey(key::kDisplay);
    const std::string shown =
        std::string("DISPLAY  buffer ") + (n < 10 ? "0" : "") + std::to_string(n);
    for (int k = 0; k < kBufferCount && model.displayLine(0).rfind(shown, 0) != 0; ++k)
        model.pressKey(key::kUp);
    model.pressKey(key::kValue);
    (void)model.takeEmissions();
}

enum class Outcome { Whole, Failed, Wrong };

struct Download {
    Outcome outcome = Outcome::Wrong;
    int repeats = 0;     // requests beyond the one per row, track row and header
    std::string detail;  // what was wrong, if it was
};

// Download Screen Image of buffer `n`, put on the screen before (showOnScreen).
inline Download download(Line& line, int n) {
    Console& console = line.console;
    const std::size_t before = line.host.written.size();
    const auto complete = [&, received = line.host.eventsOf<ImageReceived>().size()] {
        return line.host.eventsOf<ImageReceived>().size() > received;
    };
    console.mnudownloadlight_Click();
    for (int tick = 0; tick < 5000 && !line.stuck; ++tick) {
        line.pump();
        if (complete() || !line.host.timerRunning) break;
        line.tick();
    }

    Download d;
    const ImageBuffer& b = line.model.buffer(n);
    const bool trackRow =
        b.header.numexposures > 1 || (b.header.flags & (kFlagMosaic40 | kFlagMosaic6)) != 0;
    d.repeats = -1 - std::min<int>(b.header.height, 200) - trackRow;
    for (std::size_t i = before; i < line.host.written.size(); ++i) {
        const std::uint8_t code = line.host.written[i].size() > 1 ? line.host.written[i][1] : 0;
        d.repeats += code == CMD_HEADER_REQ || code == CMD_ROW_REQ || code == CMD_ROW_RAW;
    }
    const ImageRecord& r = console.image();
    const bool same =
        r.imagewidth == b.header.width && r.imageheight == b.header.height &&
        r.imagedata.cells == b.pixels &&
        (!trackRow ||
         std::equal(b.trackrow.begin(), b.trackrow.end(), console.transfer().tracklist.begin(),
                    [](auto a, auto c) { return static_cast<std::int32_t>(a) == c; }));
    const std::string pc = line.host.text(TextBox::PCtext);
    d.outcome = complete() ? (same ? Outcome::Whole : Outcome::Wrong)
                           : (pc == "Communication Failed" ? Outcome::Failed : Outcome::Wrong);
    d.detail = complete() ? "the image differs" : "ended without an image, saying '" + pc + "'";
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
    const QtxModel fresh;
    for (int n = 0; n < kBufferCount; ++n)
        if (!fresh.buffer(n).empty()) buffers.push_back(n);
    for (int k = 0; k < downloads; ++k) {
        const int n = buffers[static_cast<std::size_t>(k + first) % buffers.size()];
        Line line;
        line.console.Form_Load();
        line.pump();
        showOnScreen(line.model, n);
        const auto u = [](auto v) { return static_cast<std::uint64_t>(v); };
        FaultPlan plan;
        plan.seed = mixSeed(u(fault) * 16 + u(way) * 4 + u(rate * 100), u(k));
        double FaultPlan::*const rates[] = {&FaultPlan::drop, &FaultPlan::corrupt,
                                            &FaultPlan::delay, &FaultPlan::garbage};
        plan.*rates[static_cast<int>(fault)] = rate;
        plan.delayTicks = 2;  // the console has repeated its request twice by then
        (way == Way::ToQtx ? line.model.setRequestFaults(plan) : line.model.setFaults(plan));
        const Download d = download(line, n);
        cell.whole += d.outcome == Outcome::Whole;
        cell.failed += d.outcome == Outcome::Failed;
        if (d.outcome == Outcome::Whole) cell.repeats += d.repeats;
        if (d.outcome == Outcome::Wrong) {
            ++cell.wrong;
            cell.wrongs.push_back("seed " + std::to_string(plan.seed) + " buffer " +
                                  std::to_string(n) + ": " + d.detail);
        }
    }
    return cell;
}

}  // namespace qtx::sim::matrix

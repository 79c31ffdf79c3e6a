// Throughput of the receive state machine over a stream of 320-pixel compressed rows.
#include <benchmark/benchmark.h>

#include <utility>

#include "bench_host.hpp"
#include "console.hpp"
#include "link/frame.hpp"
#include "test_frames.hpp"

namespace {

std::vector<std::uint8_t> compressedRow(int seed) {
    std::vector<std::uint8_t> payload{static_cast<std::uint8_t>(seed), 0x04};  // first pixel
    for (int x = 2; x <= 320; ++x) {
        // Small steps up and down, as a sky background gives.
        payload.push_back(static_cast<std::uint8_t>((x + seed) % 3 == 0 ? 0x7E : 0x01));
    }
    return qtx::buildFrame(qtx::MSG_ROW, payload);
}

// The screen image is asked for and its header arrives: 320 x 199 from row 0, rows follow.
void startImage(qtx::Console& console, qtx::bench::BenchHost& host) {
    console.mnudownloadlight_Click();
    const qtx::test::Bytes rows = std::exchange(
        host.incoming,
        qtx::test::headerFrame({.height = 199, .width = 320, .firstrow = 0, .firstcolumn = 0}));
    console.onSerialEvent(qtx::SerialEvent::DataReceived);
    host.incoming = rows;
}

void BM_ReceiveCompressedRows(benchmark::State& state) {
    qtx::bench::BenchHost host;
    qtx::Console console(host);
    console.Form_Load();
    const int framesPerRead = static_cast<int>(state.range(0));
    for (int i = 0; i < framesPerRead; ++i) {
        const auto frame = compressedRow(i);
        host.incoming.insert(host.incoming.end(), frame.begin(), frame.end());
    }
    // Each read takes the next rows; a new image begins (untimed) before one would complete
    // and be drawn.
    int rowsLeft = 0;
    for (auto _ : state) {
        if (rowsLeft <= framesPerRead) {
            state.PauseTiming();
            startImage(console, host);
            rowsLeft = 199;
            state.ResumeTiming();
        }
        console.onSerialEvent(qtx::SerialEvent::DataReceived);
        rowsLeft -= framesPerRead;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(host.incoming.size()));
    state.counters["frames/s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * framesPerRead, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReceiveCompressedRows)->Arg(1)->Arg(3)->Arg(100);

}  // namespace

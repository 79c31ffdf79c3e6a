// Throughput of the receive state machine over a stream of 320-pixel compressed rows.
#include <benchmark/benchmark.h>

#include "bench_host.hpp"
#include "console.hpp"
#include "link/frame.hpp"

namespace {

std::vector<std::uint8_t> compressedRow(int seed) {
    std::vector<std::uint8_t> payload{static_cast<std::uint8_t>(seed), 0x04};  // first pixel
    for (int x = 2; x <= 320; ++x) {
        // Small steps up and down, as a sky background gives.
        payload.push_back(static_cast<std::uint8_t>((x + seed) % 3 == 0 ? 0x7E : 0x01));
    }
    return qtx::buildFrame(qtx::MSG_ROW, payload);
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
    auto& r = console.record;
    r.hdrwidth = 320;
    r.hdrheight = 199;
    r.hdrfirstrow = 0;
    r.numexposures = 1;
    r.mosaicsnapshots = 0;
    r.imagedata.resize(320, 199);
    for (auto _ : state) {
        console.reception.rownumber = 0;
        console.onSerialEvent(qtx::SerialEvent::DataReceived);
        benchmark::DoNotOptimize(console.link.rxcount);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(host.incoming.size()));
    state.counters["frames/s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * framesPerRead, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReceiveCompressedRows)->Arg(1)->Arg(3)->Arg(100);

}  // namespace

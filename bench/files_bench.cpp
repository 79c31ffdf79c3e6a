// Saving and loading a full 320 x 200 frame: the file bytes in memory, and the whole
// commands with the file on disk (a temporary folder).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "bench_host.hpp"
#include "console.hpp"
#include "files/fits_file.hpp"
#include "files/kelm.hpp"
#include "image/grey_png.hpp"
#include "image/render.hpp"
#include "link/frame.hpp"

namespace {

namespace fs = std::filesystem;

// The frame as the QTX sends it, received: its header (inches, one exposure, background 1000
// and range 200, so that the picture shows the sky's steps rather than white), then row by
// row a sky of about 1000 counts with noise-like steps and a few bright stars.
void receiveFrame(qtx::bench::BenchHost& host, qtx::Console& console) {
    qtx::bench::receiveImage(host, console, 1000, 200, [](int x, int y) {
        int v = 1000 + x / 4 + ((x * 7 + y * 13) % 37);
        if ((x * 31 + y * 17) % 211 == 0) v += 20000;
        return static_cast<std::uint16_t>(v);
    });
}

fs::path scratch() {
    const fs::path dir = fs::temp_directory_path() / "qtx-bench-files";
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

void BM_ComposeFileBytes(benchmark::State& state) {
    qtx::bench::BenchHost host;
    qtx::Console console(host);
    receiveFrame(host, console);
    std::vector<std::uint8_t> bytes;
    for (auto _ : state) {
        bytes = qtx::composeHeader(console.image(), false);
        for (int r = 1; r <= 200; ++r) {
            const auto row = static_cast<std::size_t>(r - 1) * 320;
            qtx::packRow(std::span(console.image().imagedata.cells).subspan(row, 320), bytes);
        }
        benchmark::DoNotOptimize(bytes.data());
    }
    state.counters["file_bytes"] = static_cast<double>(bytes.size());
}
BENCHMARK(BM_ComposeFileBytes)->Unit(benchmark::kMicrosecond);

// A menu command that writes a new file each round, under the name its dialog is given.
void runWritingCommand(benchmark::State& state, void (qtx::Console::*command)(),
                       const std::string& extension) {
    const fs::path dir = scratch();
    qtx::bench::BenchHost host;
    qtx::Console console(host);
    receiveFrame(host, console);
    int n = 0;
    for (auto _ : state) {
        host.fileAnswer = (dir / ("f" + std::to_string(n++) + extension)).string();
        (console.*command)();
    }
    fs::remove_all(dir);
}

void BM_SaveCommand(benchmark::State& state) {
    runWritingCommand(state, &qtx::Console::mnuCompSave_Click, ".QTX");
}
BENCHMARK(BM_SaveCommand)->Unit(benchmark::kMicrosecond);

void BM_LoadCommand(benchmark::State& state) {
    const fs::path dir = scratch();
    qtx::bench::BenchHost host;
    qtx::Console console(host);
    receiveFrame(host, console);
    host.fileAnswer = (dir / "frame.QTX").string();
    console.mnuCompSave_Click();
    for (auto _ : state) {
        console.mnuload_Click();
        benchmark::DoNotOptimize(console.image().imagedata.cells.data());
    }
    fs::remove_all(dir);
}
BENCHMARK(BM_LoadCommand)->Unit(benchmark::kMicrosecond);

// The FITS export of a full frame: its cards, its rows bottom up and the file laid out by
// CFITSIO in memory; then the whole menu command with the file on disk.
void BM_FitsFileBytes(benchmark::State& state) {
    qtx::bench::BenchHost host;
    qtx::Console console(host);
    receiveFrame(host, console);
    std::size_t size = 0;
    for (auto _ : state) {
        const auto cards = qtx::fitsCards(console.image(), nullptr, false, "bench");
        const auto rows = qtx::rowsBottomUp(console.image().imagedata, 320, 200);
        const qtx::FitsBytes fits = qtx::encodeFits(320, 200, rows, cards);
        size = fits.bytes.size();
        benchmark::DoNotOptimize(fits.bytes.data());
    }
    state.counters["file_bytes"] = static_cast<double>(size);
}
BENCHMARK(BM_FitsFileBytes)->Unit(benchmark::kMicrosecond);

void BM_FitsExportCommand(benchmark::State& state) {
    runWritingCommand(state, &qtx::Console::mnufits_Click, ".fits");
}
BENCHMARK(BM_FitsExportCommand)->Unit(benchmark::kMicrosecond);

// The PNG of qtx convert: the file of the frame's grey levels (rendered once).
void BM_PngFileBytes(benchmark::State& state) {
    qtx::bench::BenchHost host;
    qtx::Console console(host);
    receiveFrame(host, console);
    const qtx::Picture picture = qtx::renderPicture(console.image(), {}, 320, 200).picture;
    std::size_t size = 0;
    for (auto _ : state) {
        const auto png = qtx::encodeGreyPng(picture.greys, 320, 200);
        size = png.size();
        benchmark::DoNotOptimize(png.data());
    }
    state.counters["file_bytes"] = static_cast<double>(size);
}
BENCHMARK(BM_PngFileBytes)->Unit(benchmark::kMicrosecond);

}  // namespace

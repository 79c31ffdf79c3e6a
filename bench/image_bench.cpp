// The image path on a full 320 x 200 picture: rendering into a 32-bit surface, Auto
// Contrast, decoding one 320-pixel compressed row, and the flat field of 64 exposures.
#include <benchmark/benchmark.h>

#include <array>
#include <vector>

#include "bench_host.hpp"
#include "console.hpp"
#include "image/contrast.hpp"
#include "image/flat_correction.hpp"
#include "link/frame.hpp"
#include "link/rowcodec.hpp"

namespace {

// A sky of about 1000 counts with a gentle gradient and a few stars.
void fillSky(qtx::PixelArray& pixels) {
    pixels.resize(320, 200);
    for (int y = 1; y <= 200; ++y) {
        for (int x = 1; x <= 320; ++x) {
            int v = 1000 + x + y / 2 + ((x * 7 + y * 13) % 17);
            if ((x * 31 + y * 17) % 997 == 0) v += 20000;
            pixels.at(x, y) = static_cast<std::uint16_t>(v);
        }
    }
}

void BM_ShowImage32(benchmark::State& state) {
    qtx::bench::BenchHost host;
    qtx::Console console(host);
    // The sky received from the QTX: its header (background 950, range 600), then its rows.
    qtx::PixelArray sky;
    fillSky(sky);
    qtx::bench::receiveImage(host, console, 950, 600,
                             [&sky](int x, int y) { return sky.cells[(y - 1) * 320 + x - 1]; });
    for (auto _ : state) {
        console.showimage();
        benchmark::DoNotOptimize(host.surface.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * 320 * 200);
}
BENCHMARK(BM_ShowImage32)->Unit(benchmark::kMicrosecond);

void BM_AutoContrastLevels(benchmark::State& state) {
    qtx::PixelArray pixels;
    fillSky(pixels);
    for (auto _ : state) {
        const qtx::ContrastLevels levels = qtx::autoContrastLevels(pixels, 320, 200);
        benchmark::DoNotOptimize(levels);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * 320 * 200);
}
BENCHMARK(BM_AutoContrastLevels)->Unit(benchmark::kMicrosecond);

void BM_DecodeCompressedRow(benchmark::State& state) {
    // Small steps up and down with a two-byte step and a set now and then.
    std::vector<std::uint8_t> payload{0xE8, 0x03};
    for (int x = 2; x <= 320; ++x) {
        if (x % 40 == 0) {
            payload.insert(payload.end(), {0xC0, 0xFA});
        } else if (x % 9 == 0) {
            payload.insert(payload.end(), {0x81, 0x10});
        } else {
            payload.push_back(static_cast<std::uint8_t>(x % 3 == 0 ? 0x7E : 0x01));
        }
    }
    std::array<std::uint16_t, 320> row{};
    for (auto _ : state) {
        benchmark::DoNotOptimize(qtx::decodeCompressedRow(payload, 320, row));
        benchmark::DoNotOptimize(row.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * 320);
}
BENCHMARK(BM_DecodeCompressedRow);

void BM_FlatField64Exposures(benchmark::State& state) {
    // A vignetted flat and 64 exposures that wandered a few pixels around the first.
    qtx::PixelArray image;
    fillSky(image);
    qtx::PixelArray flat;
    flat.resize(320, 200);
    for (int y = 1; y <= 200; ++y) {
        for (int x = 1; x <= 320; ++x) {
            const int dx = x - 160;
            const int dy = y - 100;
            flat.at(x, y) = static_cast<std::uint16_t>(30000 - (dx * dx + dy * dy) / 4);
        }
    }
    qtx::TrackOffsets track;
    track.trackcount = 64;
    for (std::size_t k = 2; k <= 64; ++k) {
        track.trackx[k] = static_cast<std::int16_t>(static_cast<int>(k * 7 % 11) - 5);
        track.tracky[k] = static_cast<std::int16_t>(static_cast<int>(k * 5 % 9) - 4);
    }
    for (auto _ : state) {
        qtx::FlatCorrection out = qtx::correctFlatField(image, 320, 200, 100, flat, track);
        benchmark::DoNotOptimize(out.pixels.cells.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * 320 * 200 * 64);
}
BENCHMARK(BM_FlatField64Exposures)->Unit(benchmark::kMillisecond);

}  // namespace

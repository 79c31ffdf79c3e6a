// Star detection and measurement on a full 320 x 200 frame: 30 stars of 2.5 to 5 pixels FWHM
// on a sky of 500 counts with Poisson noise, what the window and `qtx stars` do per image.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "analysis/stars.hpp"

namespace {

qtx::PixelArray starField() {
    constexpr int kWidth = 320, kHeight = 200;
    std::vector<double> light(kWidth * kHeight, 500.0);
    std::mt19937 random(2024);
    std::uniform_real_distribution<double> place(0.0, 1.0);
    for (int n = 0; n < 30; ++n) {
        const double x = 8.0 + place(random) * (kWidth - 16),
                     y = 8.0 + place(random) * (kHeight - 16);
        const double sigma = (2.5 + 2.5 * place(random)) / 2.3548;
        const double flux = 3000.0 + 200000.0 * place(random) * place(random);
        for (int j = 0; j < kHeight; ++j) {
            for (int i = 0; i < kWidth; ++i) {
                const double r2 = (i + 1 - x) * (i + 1 - x) + (j + 1 - y) * (j + 1 - y);
                if (r2 < 100.0) {
                    light[j * kWidth + i] += flux / (2 * 3.14159265 * sigma * sigma) *
                                             std::exp(-r2 / (2 * sigma * sigma));
                }
            }
        }
    }
    qtx::PixelArray pixels;
    pixels.resize(kWidth, kHeight);
    for (std::size_t n = 0; n < light.size(); ++n) {
        const double v = std::poisson_distribution<int>(light[n])(random);
        pixels.cells[n] = static_cast<std::uint16_t>(std::min(v, 65535.0));
    }
    return pixels;
}

void BM_FindStars(benchmark::State& state) {
    const qtx::PixelArray pixels = starField();
    const qtx::PixelView view = qtx::pixelView(pixels);
    std::size_t found = 0;
    for (auto _ : state) {
        const qtx::StarField field = qtx::findStars(view);
        found = field.stars.size();
        benchmark::DoNotOptimize(field.summary);
    }
    state.counters["stars"] = static_cast<double>(found);
}
BENCHMARK(BM_FindStars)->Unit(benchmark::kMillisecond);

}  // namespace

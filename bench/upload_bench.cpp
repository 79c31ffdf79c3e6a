// The firmware upload's own work: the CRC over a whole code image, the file check, and the
// pages built from it, each over the 98 kB the upload sends.
#include <benchmark/benchmark.h>

#include <vector>

#include "upload/code_image.hpp"
#include "upload/crc16.hpp"

namespace {

std::vector<std::uint8_t> codeImage() {
    std::vector<std::uint8_t> image(qtx::kCodeBytes);
    std::uint32_t x = 12345;
    for (auto& b : image) {
        x = x * 1103515245U + 12345U;
        b = static_cast<std::uint8_t>(x >> 16);
    }
    const std::uint16_t crc = qtx::crc16(std::span(image).first(qtx::kCodeChecked));
    image[qtx::kCodeBytes - 2] = static_cast<std::uint8_t>(crc >> 8);
    image[qtx::kCodeBytes - 1] = static_cast<std::uint8_t>(crc & 0xFF);
    return image;
}

void BM_Crc16OverCode(benchmark::State& state) {
    const auto image = codeImage();
    const auto code = std::span(image).first(qtx::kCodeChecked);
    for (auto _ : state) benchmark::DoNotOptimize(qtx::crc16(code));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * code.size()));
}
BENCHMARK(BM_Crc16OverCode);

void BM_CheckCodeImage(benchmark::State& state) {
    const auto image = codeImage();
    for (auto _ : state) benchmark::DoNotOptimize(qtx::checkCodeImage(image).verdict);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * image.size()));
}
BENCHMARK(BM_CheckCodeImage);

void BM_AllPages(benchmark::State& state) {
    const auto image = codeImage();
    const std::span<const std::uint8_t, qtx::kCodeBytes> whole(image.data(), qtx::kCodeBytes);
    for (auto _ : state) {
        for (int page = 0; page < qtx::kCodePages; ++page) {
            benchmark::DoNotOptimize(qtx::pagePayload(whole, page));
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * image.size()));
}
BENCHMARK(BM_AllPages);

}  // namespace

#include "model/star_field.hpp"

#include <algorithm>
#include <cmath>

#include "link/le16.hpp"
#include "model/rng.hpp"

namespace qtx::sim {

namespace {

struct Star {
    double x, y, peak, sigma;  // centre in 0-based pixel coordinates
};

// Adds a Gaussian star into a signal plane, only where it is brighter than a hundredth
// of a count, so the cost does not grow with the image.
void addStar(std::vector<double>& plane, int width, int height, const Star& s) {
    const double reach = 5.0 * s.sigma;
    const int x0 = std::max(0, static_cast<int>(std::floor(s.x - reach)));
    const int x1 = std::min(width - 1, static_cast<int>(std::ceil(s.x + reach)));
    const int y0 = std::max(0, static_cast<int>(std::floor(s.y - reach)));
    const int y1 = std::min(height - 1, static_cast<int>(std::ceil(s.y + reach)));
    const double k = -0.5 / (s.sigma * s.sigma);
    for (int y = y0; y <= y1; ++y) {
        for (int x = x0; x <= x1; ++x) {
            const double dx = x - s.x;
            const double dy = y - s.y;
            plane[static_cast<std::size_t>(y) * width + x] +=
                s.peak * std::exp(k * (dx * dx + dy * dy));
        }
    }
}

// Sky, signal and noise to counts, clipped and quantised like the converter would.
std::uint16_t toCount(double mean, double readNoise, double shotGain, int adcStep,
                      std::uint32_t clip, Rng& rng) {
    const double sd = std::sqrt(readNoise * readNoise + shotGain * std::max(0.0, mean));
    double v = std::round(mean + sd * rng.normal());
    v = std::clamp(v, 0.0, static_cast<double>(clip));
    auto c = static_cast<std::uint32_t>(v);
    c -= c % static_cast<std::uint32_t>(adcStep);
    return static_cast<std::uint16_t>(c);
}

// Guiding offsets of the exposures of a summed image, as signed words in pairs.
void trackOffsets(std::array<std::uint16_t, 320>& track, int exposures, Rng& rng) {
    int dx = 0, dy = 0;
    for (int k = 0; k < std::min(exposures, 160); ++k) {
        if (k > 0) {
            dx += static_cast<int>(rng.below(3)) - 1;
            dy += static_cast<int>(rng.below(3)) - 1;
        }
        track[2 * k] = static_cast<std::uint16_t>(static_cast<std::int16_t>(dx));
        track[2 * k + 1] = static_cast<std::uint16_t>(static_cast<std::int16_t>(dy));
    }
}

// Snapshot end times of a mosaic, in milliseconds of the day, high word first; the first
// is the image's own time.
void snapshotTimes(std::array<std::uint16_t, 320>& track, int snapshots, std::uint32_t firstEndMs,
                   std::uint32_t cadenceMs, Rng& rng) {
    for (int k = 0; k < snapshots; ++k) {
        const std::uint32_t t =
            firstEndMs + static_cast<std::uint32_t>(k) * cadenceMs + (k == 0 ? 0 : rng.below(40));
        track[2 * k] = static_cast<std::uint16_t>(t >> 16);
        track[2 * k + 1] = static_cast<std::uint16_t>(t & 0xFFFF);
    }
}

// Display levels from the data: the sky a little below its typical value, and the span
// up to the brightest few pixels.
void displayLevels(ImageHeader& h, const std::vector<std::uint16_t>& pixels) {
    if (pixels.empty()) return;
    std::vector<std::uint16_t> sorted(pixels);
    std::sort(sorted.begin(), sorted.end());
    const std::uint16_t low = sorted[sorted.size() / 20];
    const std::uint16_t high = sorted[std::min(sorted.size() - 1, sorted.size() * 998 / 1000)];
    h.background = std::min<std::uint16_t>(low, 32767);
    h.range = static_cast<std::uint16_t>(std::clamp(high - low, 16, 32767));
}

ImageHeader baseHeader(int width, int height, int firstrow, int firstcolumn, const SimTime& when) {
    ImageHeader h;
    h.width = static_cast<std::uint16_t>(width);
    h.height = static_cast<std::uint16_t>(height);
    h.firstrow = static_cast<std::uint16_t>(firstrow);
    h.firstcolumn = static_cast<std::uint16_t>(firstcolumn);
    h.flags = 1U << kPixelSizeShift;
    h.exposure = 100;
    h.focallength = 20320;  // 203.20 cm, an 8-inch f/10
    h.aperture = 203;       // 20.3 cm
    h.date = dateWord(when.year, when.month, when.day);
    const std::uint32_t s = when.dayMs / 1000;
    bool pm = false;
    h.time = timeWord(static_cast<int>(s / 3600), static_cast<int>(s / 60 % 60),
                      static_cast<int>(s % 60), pm);
    if (pm) h.flags |= kFlagPm;
    h.temperature = -500;
    h.site = 3;
    h.egain100 = 250;
    h.pedestal = 100;
    return h;
}

SimTime catalogueTime(int buffer) {
    SimTime t;
    t.dayMs = 20 * 3600000U + static_cast<std::uint32_t>(buffer) * 187000U;
    return t;
}

}  // namespace

std::vector<std::uint8_t> headerBlock(const ImageHeader& h) {
    std::vector<std::uint8_t> block(kHeaderBlockBytes, 0);
    if (h.height == 0) return block;
    putLe16(block, 0, h.flags);
    putLe16(block, 2, h.height);
    putLe16(block, 4, h.width);
    putLe16(block, 6, h.firstrow);
    putLe16(block, 8, h.firstcolumn);
    putLe16(block, 10, h.exposure);
    putLe16(block, 12, h.numexposures);
    putLe16(block, 18, h.focallength);
    putLe16(block, 20, h.aperture);
    putLe16(block, 22, h.date);
    putLe16(block, 24, h.time);
    putLe16(block, 26, static_cast<std::uint16_t>(h.temperature));
    putLe16(block, 28, h.site);
    putLe16(block, 30, h.egain100);
    putLe16(block, 32, h.background);
    putLe16(block, 34, h.range);
    putLe16(block, 36, h.pedestal);
    return block;
}

std::uint16_t dateWord(int year, int month, int day) {
    return static_cast<std::uint16_t>(((month & 0xF) << 12) | ((day & 0x1F) << 7) |
                                      ((year - 1999) & 0x7F));
}

std::uint16_t timeWord(int hour, int minute, int second, bool& pm) {
    pm = hour >= 12;
    const int h = pm ? hour - 12 : hour;
    return static_cast<std::uint16_t>(((h & 0xF) << 12) | ((minute & 0x3F) << 6) | (second & 0x3F));
}

std::uint16_t exposureWord(std::uint32_t ms) {
    if (ms % 10 == 0 || ms > 5535)
        return static_cast<std::uint16_t>(std::min<std::uint32_t>(ms / 10, 60000));
    return static_cast<std::uint16_t>(60000 + ms);
}

std::vector<std::uint16_t> renderField(const FieldSettings& field, std::uint64_t seed) {
    Rng rng(seed);
    const int w = field.width;
    const int h = field.height;
    std::vector<double> signal(static_cast<std::size_t>(w) * h, 0.0);
    for (int i = 0; i < field.stars; ++i) {
        Star s;
        s.x = rng.between(1.0, w - 1.0);
        s.y = rng.between(1.0, h - 1.0);
        s.peak = field.peakMin * std::pow(field.peakMax / field.peakMin, rng.uniform());
        s.sigma = rng.between(field.sigmaMin, field.sigmaMax);
        addStar(signal, w, h, s);
    }
    std::vector<std::uint16_t> out(signal.size());
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const double across = w > 1 ? static_cast<double>(x) / (w - 1) - 0.5 : 0.0;
            const std::size_t i = static_cast<std::size_t>(y) * w + x;
            out[i] = toCount(field.sky + field.gradient * across + signal[i], field.readNoise,
                             field.shotGain, field.adcStep, field.clip, rng);
        }
    }
    return out;
}

std::vector<std::uint16_t> renderMosaic(int boxColumns, int boxRows, double sky,
                                        std::uint64_t seed) {
    Rng rng(seed);
    const int w = 40 * boxColumns;
    const int h = 40 * boxRows;
    const int boxes = boxColumns * boxRows;
    std::vector<double> signal(static_cast<std::size_t>(w) * h, 0.0);
    for (int i = 0; i < boxes; ++i) {
        // The star drifts slowly across its box from snapshot to snapshot and twinkles;
        // local position 19.5 (counting from 1) is the box centre the console measures from.
        const double drift = boxes > 1 ? static_cast<double>(i) / (boxes - 1) : 0.0;
        Star s;
        s.x = (i % boxColumns) * 40 + 18.5 - 1.5 + 3.0 * drift + rng.between(-0.3, 0.3);
        s.y = (i / boxColumns) * 40 + 18.5 + 1.0 - 2.0 * drift + rng.between(-0.3, 0.3);
        s.peak = rng.between(1800, 4200);
        s.sigma = rng.between(1.3, 1.6);
        addStar(signal, w, h, s);
    }
    std::vector<std::uint16_t> out(signal.size());
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = toCount(sky + signal[i], 5, 0.5, 1, 65535, rng);
    return out;
}

ImageBuffer takeExposure(const ExposureSettings& st, const SimTime& when, std::uint64_t seed) {
    Rng rng(seed);
    const int bin = std::clamp(st.binning, 1, 3);
    const int sum = std::clamp(st.sum, 1, 160);
    ImageBuffer b;
    b.header = baseHeader(kSensorWidth / bin, kSensorHeight / bin, 0, 0, when);
    ImageHeader& h = b.header;
    h.flags =
        static_cast<std::uint16_t>((h.flags & ~(3U << kPixelSizeShift)) | (bin << kPixelSizeShift));
    if (st.inches) h.flags |= kFlagInches;
    if (sum > 1) h.flags |= kFlagHistory;
    h.exposure = exposureWord(st.exposureMs);
    h.numexposures = static_cast<std::uint16_t>(sum);
    h.focallength = st.focallength;
    h.aperture = st.aperture;
    h.site = st.site;
    h.egain100 = st.egain100;
    h.temperature = static_cast<std::int16_t>(-500 + static_cast<int>(rng.below(41)) - 20);
    // Counts grow with exposure, pixel area and gain (fewer electrons per count).
    const double scale = st.exposureMs / 1000.0 * bin * bin * 250.0 / std::max<int>(1, st.egain100);
    FieldSettings f;
    f.width = h.width;
    f.height = h.height;
    f.sky = sum * std::min(20000.0, 100 + 150 * scale);
    f.readNoise = 6 * std::sqrt(static_cast<double>(sum));
    f.stars = 10 + static_cast<int>(rng.below(15));
    f.peakMin = sum * 200 * scale;
    f.peakMax = sum * 25000 * scale;
    f.sigmaMin = 1.0 + 0.3 * (3 - bin);
    f.sigmaMax = f.sigmaMin + 0.8;
    b.pixels = renderField(f, rng.next());
    if (sum > 1) trackOffsets(b.trackrow, sum, rng);
    displayLevels(h, b.pixels);
    return b;
}

std::array<ImageBuffer, kBufferCount> makeCatalogue(std::uint64_t seed) {
    std::array<ImageBuffer, kBufferCount> all{};
    auto stream = [seed](int buffer) {
        return mixSeed(seed, static_cast<std::uint64_t>(buffer) + 1);
    };
    auto single = [&](int n, int w, int hgt, int row, int col, FieldSettings f) -> ImageBuffer& {
        ImageBuffer& b = all[static_cast<std::size_t>(n)];
        b.header = baseHeader(w, hgt, row, col, catalogueTime(n));
        f.width = w;
        f.height = hgt;
        b.pixels = renderField(f, stream(n));
        b.header.background = static_cast<std::uint16_t>(std::max(0.0, f.sky - 3 * f.readNoise));
        b.header.range = static_cast<std::uint16_t>(
            std::min(32767.0, 20 * f.readNoise + std::min(f.peakMin * 4, f.peakMax / 4)));
        return b;
    };

    // 0: full frame from the 14-bit converter (counts in steps of 4), saturated cores.
    {
        FieldSettings f;
        f.sky = 800, f.readNoise = 8, f.stars = 25, f.peakMin = 800, f.peakMax = 90000;
        f.sigmaMin = 0.9, f.sigmaMax = 1.5, f.adcStep = 4, f.clip = 65532;
        ImageBuffer& b = single(0, 320, 200, 0, 0, f);
        b.header.exposure = 1000;
        b.header.pedestal = 400;
    }
    // 1: a 200 x 100 window in the middle of the sensor, lunar filter.
    {
        FieldSettings f;
        f.sky = 300, f.readNoise = 6, f.stars = 8, f.peakMin = 300, f.peakMax = 6000;
        ImageBuffer& b = single(1, 200, 100, 50, 60, f);
        b.header.flags |= kFlagLunarFilter;
        b.header.exposure = 250;
        b.header.background = 280;
        b.header.range = 1500;
    }
    // 2: four exposures summed while tracking.
    {
        FieldSettings f;
        f.sky = 1200, f.readNoise = 12, f.stars = 10, f.peakMin = 1200, f.peakMax = 40000;
        f.sigmaMin = 1.2, f.sigmaMax = 1.6;
        ImageBuffer& b = single(2, 160, 120, 40, 80, f);
        b.header.flags |= kFlagHistory;
        b.header.numexposures = 4;
        b.header.exposure = 500;
        Rng r(stream(2) ^ 0x7);
        trackOffsets(b.trackrow, 4, r);
    }
    // 4: a 40-snapshot mosaic, 8 x 5 boxes.
    {
        ImageBuffer& b = all[4];
        b.header = baseHeader(320, 200, 0, 0, catalogueTime(4));
        b.header.flags |= kFlagMosaic40;
        b.header.exposure = 50;  // 0.5 s per snapshot
        b.pixels = renderMosaic(8, 5, 200, stream(4));
        b.header.background = 185;
        b.header.range = 2500;
        Rng r(stream(4) ^ 0x7);
        snapshotTimes(b.trackrow, 40, catalogueTime(4).dayMs, 1700, r);
    }
    // 5: a 6-snapshot mosaic, 3 x 2 boxes, snapshots of 125 ms.
    {
        ImageBuffer& b = all[5];
        b.header = baseHeader(120, 80, 60, 100, catalogueTime(5));
        b.header.flags |= kFlagMosaic6;
        b.header.exposure = 60125;
        b.pixels = renderMosaic(3, 2, 150, stream(5));
        b.header.background = 135;
        b.header.range = 2500;
        Rng r(stream(5) ^ 0x7);
        snapshotTimes(b.trackrow, 6, catalogueTime(5).dayMs, 900, r);
    }
    // 6: an odd window sent with uncompressed rows; inches, plain aperture, a cold night.
    {
        FieldSettings f;
        f.sky = 500, f.readNoise = 7, f.stars = 4, f.peakMin = 400, f.peakMax = 9000;
        ImageBuffer& b = single(6, 97, 63, 11, 17, f);
        b.rawRows = true;
        b.header.flags |= kFlagInches | kFlagPlainAperture;
        b.header.focallength = 8000;  // 80.00 inches
        b.header.aperture = 80;       // 8.0 inches
        b.header.temperature = -1234;
        b.header.exposure = 3000;
    }
    // 7: sixteen exposures summed, bright stars up to full scale.
    {
        FieldSettings f;
        f.sky = 4000, f.readNoise = 24, f.stars = 18, f.peakMin = 4000, f.peakMax = 120000;
        f.sigmaMin = 1.1, f.sigmaMax = 1.7;
        ImageBuffer& b = single(7, 320, 200, 0, 0, f);
        b.header.flags |= kFlagHistory;
        b.header.numexposures = 16;
        b.header.exposure = 1500;
        Rng r(stream(7) ^ 0x7);
        trackOffsets(b.trackrow, 16, r);
    }
    // 9: a twilight flat, binned 2 x 2: bright, smooth, a gentle slope.
    {
        FieldSettings f;
        f.sky = 40000, f.gradient = 3000, f.readNoise = 10, f.shotGain = 1.0, f.stars = 0;
        ImageBuffer& b = single(9, 160, 100, 0, 0, f);
        b.header.flags = static_cast<std::uint16_t>((b.header.flags & ~(3U << kPixelSizeShift)) |
                                                    (2U << kPixelSizeShift));
        b.header.exposure = 60050;  // 50 ms
        b.header.background = 37000;
        b.header.range = 6000;
    }
    // 10: binned 3 x 3, a warm evening.
    {
        FieldSettings f;
        f.sky = 900, f.readNoise = 9, f.stars = 6, f.peakMin = 2000, f.peakMax = 20000;
        ImageBuffer& b = single(10, 106, 66, 0, 0, f);
        b.header.flags = static_cast<std::uint16_t>((b.header.flags & ~(3U << kPixelSizeShift)) |
                                                    (3U << kPixelSizeShift));
        b.header.temperature = 1250;
    }
    // 12: a tiny odd window.
    {
        FieldSettings f;
        f.stars = 1, f.peakMin = 3000, f.peakMax = 3000;
        single(12, 33, 21, 100, 150, f);
    }
    // 17: a full frame in the upper half of the buffer numbers.
    {
        FieldSettings f;
        f.stars = 15;
        single(17, 320, 200, 0, 0, f).header.exposure = 200;
    }
    // 20: one row only, the last row below the track row number.
    {
        FieldSettings f;
        f.stars = 2;
        single(20, 64, 1, 199, 128, f);
    }
    // 25: one column only: every row is its first pixel and nothing else.
    {
        FieldSettings f;
        f.stars = 0;
        single(25, 1, 10, 5, 10, f);
    }
    // 31: the screen, the last exposure taken.
    all[kScreenBuffer] = takeExposure(ExposureSettings{}, SimTime{}, stream(kScreenBuffer));
    return all;
}

}  // namespace qtx::sim

#include "analysis/stars.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace qtx {
namespace {

constexpr double kMadToSigma = 1.4826;
constexpr double kFwhmPerSigma = 2.3548200450309493;  // 2 sqrt(2 ln 2)
// A pixel spreads the light it samples by its own width: variance 1/12 in each axis.
constexpr double kPixelVariance = 1.0 / 12.0;
// Light in one pixel, with less spread than this left after the pixel's own, is a hot pixel or
// a cosmic ray, not a star (a point source on a pixel corner still spreads 0.17 px^2).
constexpr double kHotPixelVariance = 0.02;
// Window of the moments, in pixels of Gaussian sigma; a star wider than kMaxWindow (FWHM about
// 16 px) is not measured.
constexpr double kMinWindow = 0.3;
constexpr double kMaxWindow = 7.0;
constexpr int kMaxHalfBox = 25;
constexpr int kMomentRounds = 60;
// How far a centroid may wander from the pixel it was found at.
constexpr double kMaxWander = 3.0;
// Aperture radius: one and a half FWHM (99.8 % of a Gaussian's light), within these bounds.
constexpr double kApertureFwhms = 1.5;
constexpr double kMinAperture = 3.0;
constexpr double kMaxAperture = 25.0;
// The annulus for the local background starts this far outside the aperture and holds four
// times its area, so that the background's own error adds little to the flux's.
constexpr double kAnnulusGap = 2.0;
constexpr double kAnnulusAreas = 4.0;
constexpr std::size_t kMinAnnulus = 8;
// Radial profile of the half-flux radius: bins of a twentieth of a pixel, each pixel sampled
// at 4 x 4 points.
constexpr double kProfileBin = 0.05;
constexpr int kProfileBins = static_cast<int>(kMaxAperture / kProfileBin) + 2;

struct Run {
    double value;
    double count;
};

// Median and MAD of counts spread evenly over their unit, from their runs of equal values in
// ascending order.
RobustLevel levelOfRuns(const std::vector<Run>& runs, double total) {
    RobustLevel level;
    if (runs.empty() || !(total > 0.0)) return level;
    const double half = total / 2.0;
    double cum = 0.0;
    double m = runs.back().value;
    for (const Run& r : runs) {
        if (cum + r.count >= half) {
            m = r.value - 0.5 + (half - cum) / r.count;
            break;
        }
        cum += r.count;
    }
    // Widen [m - d, m + d] until it holds half the mass; the density is piecewise constant,
    // so each step runs to the next edge of a unit on either side.
    const auto n = static_cast<std::ptrdiff_t>(runs.size());
    std::ptrdiff_t il = n - 1;  // the last run that starts below m
    while (il >= 0 && !(runs[static_cast<std::size_t>(il)].value - 0.5 < m)) --il;
    std::ptrdiff_t ir = 0;  // the first run that ends above m
    while (ir < n && !(runs[static_cast<std::size_t>(ir)].value + 0.5 > m)) ++ir;
    constexpr double kNone = std::numeric_limits<double>::infinity();
    double lo = m, hi = m, mass = 0.0, d = 0.0;
    for (std::ptrdiff_t guard = 0; guard <= 4 * n + 4; ++guard) {
        double densL = 0.0, stepL = kNone, edgeL = lo;
        bool insideL = false;
        if (il >= 0) {
            const double v = runs[static_cast<std::size_t>(il)].value;
            insideL = lo <= v + 0.5;
            densL = insideL ? runs[static_cast<std::size_t>(il)].count : 0.0;
            edgeL = insideL ? v - 0.5 : v + 0.5;
            stepL = lo - edgeL;
        }
        double densR = 0.0, stepR = kNone, edgeR = hi;
        bool insideR = false;
        if (ir < n) {
            const double v = runs[static_cast<std::size_t>(ir)].value;
            insideR = hi >= v - 0.5;
            densR = insideR ? runs[static_cast<std::size_t>(ir)].count : 0.0;
            edgeR = insideR ? v + 0.5 : v - 0.5;
            stepR = edgeR - hi;
        }
        const double step = std::min(stepL, stepR);
        const double dens = densL + densR;
        if (step == kNone) break;
        if (dens > 0.0 && mass + dens * step >= half) {
            d += (half - mass) / dens;
            break;
        }
        mass += dens * step;
        d += step;
        lo -= step;
        hi += step;
        if (stepL == step) {
            lo = edgeL;
            if (insideL) --il;
        }
        if (stepR == step) {
            hi = edgeR;
            if (insideR) ++ir;
        }
    }
    level.median = m;
    level.sigma = kMadToSigma * d;
    return level;
}

// The median of counts spread evenly over their unit (as in levelOfRuns), in linear time.
double countMedian(std::vector<std::uint16_t>& values) {
    const double half = static_cast<double>(values.size()) / 2.0;
    const auto nth = values.begin() + static_cast<std::ptrdiff_t>(std::ceil(half) - 1.0);
    std::nth_element(values.begin(), nth, values.end());
    const std::uint16_t v = *nth;
    double below = 0.0, equal = 0.0;
    for (const std::uint16_t u : values) {
        below += u < v ? 1.0 : 0.0;
        equal += u == v ? 1.0 : 0.0;
    }
    return v - 0.5 + (half - below) / equal;
}

double median(std::vector<double> values) {
    const std::size_t mid = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(mid),
                     values.end());
    const double upper = values[mid];
    if (values.size() % 2 == 1) return upper;
    return (upper +
            *std::max_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(mid))) /
           2.0;
}

std::optional<double> mapped(const std::optional<double>& v, const std::optional<double>& by) {
    if (!v || !by || !std::isfinite(*by) || !(*by > 0.0)) return std::nullopt;
    return *v * *by;
}

// The pixels a star may use: those no nearer to a brighter star found before it than to its
// own centre, so that a faint neighbour's measurement is not pulled into the bright one.
struct Territory {
    double x = 0.0, y = 0.0;  // 0-based
    std::vector<std::array<double, 2>> brighter;

    // The same for the pixels within `radius` of the centre: only the stars that can claim one
    // of them (a pixel is nearer to a star than to the centre only when that star is nearer
    // than twice the pixel's distance).
    Territory within(double radius) const {
        Territory near{x, y, {}};
        for (const auto& b : brighter) {
            if ((b[0] - x) * (b[0] - x) + (b[1] - y) * (b[1] - y) < 4.0 * radius * radius)
                near.brighter.push_back(b);
        }
        return near;
    }
    bool owns(int i, int j) const {
        const double own = (i - x) * (i - x) + (j - y) * (j - y);
        for (const auto& b : brighter) {
            if ((i - b[0]) * (i - b[0]) + (j - b[1]) * (j - b[1]) < own) return false;
        }
        return true;
    }
};

// Gaussian-weighted centroid and width with the window matched to the star (adaptive
// moments): unbiased for a symmetric star, and the noise far from it weighs little. On
// success (cx, cy) is the centroid (0-based), `window` the matched sigma and `variance` the
// star's variance a axis, the pixel's own included.
bool adaptiveMoments(const PixelView& im, const Territory& whole, double bg, double& cx, double& cy,
                     double& window, double& variance) {
    const double startX = cx, startY = cy;
    std::array<double, 2 * kMaxHalfBox + 1> ex{}, ey{};
    // The box only grows: one that followed the window both ways could make the window jump
    // back and forth between two sizes for ever.
    int half = 2;
    double lastStep = std::numeric_limits<double>::infinity();
    for (int round = 0; round < kMomentRounds; ++round) {
        half = std::clamp(static_cast<int>(std::ceil(4.0 * window)), half, kMaxHalfBox);
        const int ic = static_cast<int>(std::lround(cx)), jc = static_cast<int>(std::lround(cy));
        const int i0 = std::max(0, ic - half), i1 = std::min(im.width - 1, ic + half);
        const int j0 = std::max(0, jc - half), j1 = std::min(im.height - 1, jc + half);
        const Territory land = whole.within(std::hypot(ic - whole.x, jc - whole.y) + half * 1.5);
        const bool alone = land.brighter.empty();
        const double k = -1.0 / (2.0 * window * window);
        for (int i = i0; i <= i1; ++i) ex[i - i0] = std::exp(k * (i - cx) * (i - cx));
        for (int j = j0; j <= j1; ++j) ey[j - j0] = std::exp(k * (j - cy) * (j - cy));
        double s0 = 0.0, sx = 0.0, sy = 0.0, srr = 0.0;
        for (int j = j0; j <= j1; ++j) {
            const double dy = j - cy;
            double r0 = 0.0, rx = 0.0, rxx = 0.0;
            for (int i = i0; i <= i1; ++i) {
                if (!alone && !land.owns(i, j)) continue;
                const double wi = ex[i - i0] * (im.at0(i, j) - bg);
                const double dx = i - cx;
                r0 += wi;
                rx += wi * dx;
                rxx += wi * dx * dx;
            }
            const double wy = ey[j - j0];
            s0 += wy * r0;
            sx += wy * rx;
            sy += wy * r0 * dy;
            srr += wy * (rxx + r0 * dy * dy);
        }
        if (!(s0 > 0.0)) return false;
        const double dx = sx / s0, dy = sy / s0;
        const double product = (srr / s0 - dx * dx - dy * dy) / 2.0;  // a axis
        if (!(product > 0.0) || window * window <= product) {
            // All the weight in one pixel: no width to measure.
            variance = 0.0;
            cx += dx, cy += dy;
            return std::isfinite(cx) && std::isfinite(cy);
        }
        variance = product * window * window / (window * window - product);
        cx += dx, cy += dy;
        if (!std::isfinite(cx) || !std::isfinite(cy) || std::abs(cx - startX) > kMaxWander ||
            std::abs(cy - startY) > kMaxWander) {
            return false;
        }
        const double next = std::clamp(std::sqrt(2.0 * product), kMinWindow, kMaxWindow);
        lastStep = std::max({std::abs(dx), std::abs(dy), std::abs(next - window) / window});
        window = next;
        if (lastStep < 1e-4) return window < kMaxWindow;
    }
    // Noise can leave a last wobble far below what is measured.
    return lastStep < 1e-2 && window < kMaxWindow;
}

double apertureFor(double variance) {
    return std::clamp(kApertureFwhms * kFwhmPerSigma * std::sqrt(variance), kMinAperture,
                      kMaxAperture);
}

struct Box {
    int i0, i1, j0, j1;
};

Box boxAround(const PixelView& im, double cx, double cy, double radius) {
    return {std::max(0, static_cast<int>(std::floor(cx - radius))),
            std::min(im.width - 1, static_cast<int>(std::ceil(cx + radius))),
            std::max(0, static_cast<int>(std::floor(cy - radius))),
            std::min(im.height - 1, static_cast<int>(std::ceil(cy + radius)))};
}

// Measures the star found at pixel (i, j), 0-based; nothing when it is not one.
std::optional<Star> measure(const PixelView& im, const RobustLevel& sky, Territory& land, int i,
                            int j, const StarOptions& o) {
    double cx = i, cy = j, window = 1.2, variance = 0.0;
    land.x = cx, land.y = cy;
    if (!adaptiveMoments(im, land, sky.median, cx, cy, window, variance)) return std::nullopt;
    land.x = cx, land.y = cy;

    // Local background from the annulus outside the aperture the first width asks for.
    const double r0 = apertureFor(variance);
    const double inner = r0 + kAnnulusGap;
    const double outer = std::sqrt(inner * inner + kAnnulusAreas * r0 * r0);
    std::vector<std::uint16_t> ring;
    const Box ringBox = boxAround(im, cx, cy, outer);
    const Territory ringLand = land.within(outer + 1.0);
    for (int jj = ringBox.j0; jj <= ringBox.j1; ++jj) {
        for (int ii = ringBox.i0; ii <= ringBox.i1; ++ii) {
            const double rr = (ii - cx) * (ii - cx) + (jj - cy) * (jj - cy);
            if (rr >= inner * inner && rr <= outer * outer && ringLand.owns(ii, jj)) {
                ring.push_back(im.at0(ii, jj));
            }
        }
    }
    const std::size_t ringSize = ring.size();
    const double bg = ringSize >= kMinAnnulus ? countMedian(ring) : sky.median;
    if (!adaptiveMoments(im, land, bg, cx, cy, window, variance)) return std::nullopt;
    const double starVariance = variance - kPixelVariance;
    if (starVariance < kHotPixelVariance) return std::nullopt;

    Star s;
    s.x = cx + 1.0;
    s.y = cy + 1.0;
    s.background = bg;
    s.aperture = apertureFor(variance);
    const double R = s.aperture;
    std::array<double, kProfileBins> profile{};
    double pixels = 0.0, flux = 0.0;
    std::uint16_t peak = 0;
    const Box box = boxAround(im, cx, cy, R);
    const Territory apertureLand = land.within(std::hypot(cx - land.x, cy - land.y) + R + 1.0);
    for (int jj = box.j0; jj <= box.j1; ++jj) {
        for (int ii = box.i0; ii <= box.i1; ++ii) {
            const double dx = ii - cx, dy = jj - cy;
            if (!apertureLand.owns(ii, jj)) {
                s.blended = s.blended || dx * dx + dy * dy <= R * R;
                continue;
            }
            const double v = im.at0(ii, jj);
            const double above = v - bg;
            if (dx * dx + dy * dy <= R * R) {
                pixels += 1.0;
                flux += above;
                peak = std::max(peak, im.at0(ii, jj));
            }
            for (int sj = 0; sj < 4; ++sj) {
                const double py = dy + (sj - 1.5) / 4.0;
                for (int si = 0; si < 4; ++si) {
                    const double px = dx + (si - 1.5) / 4.0;
                    const double r = std::sqrt(px * px + py * py);
                    if (r <= R) profile[static_cast<std::size_t>(r / kProfileBin)] += above / 16.0;
                }
            }
        }
    }
    if (!(flux > 0.0)) return std::nullopt;
    s.flux = flux;
    s.peak = peak;
    // The sky's noise in the aperture and in the background subtracted from it, and the star's
    // own shot noise when the gain is known.
    const double annulus = std::max<double>(static_cast<double>(ringSize), 1.0);
    double noise2 = pixels * sky.sigma * sky.sigma * (1.0 + pixels / annulus);
    if (o.gain && *o.gain > 0.0 && std::isfinite(*o.gain)) noise2 += flux / *o.gain;
    s.snr = noise2 > 0.0 ? flux / std::sqrt(noise2) : 0.0;
    if (!(s.snr >= o.minSnr)) return std::nullopt;

    s.saturated = peak >= o.saturation;
    s.clipped =
        cx - R < -0.5 || cy - R < -0.5 || cx + R > im.width - 0.5 || cy + R > im.height - 0.5;
    if (s.saturated || s.clipped || s.blended) return s;

    s.fwhm = kFwhmPerSigma * std::sqrt(starVariance);
    double total = 0.0;
    for (const double p : profile) total += p;
    if (total > 0.0) {
        double cum = 0.0;
        for (std::size_t b = 0; b < profile.size(); ++b) {
            if (profile[b] > 0.0 && cum + profile[b] >= total / 2.0) {
                s.hfr = kProfileBin * (static_cast<double>(b) + (total / 2.0 - cum) / profile[b]);
                break;
            }
            cum += profile[b];
        }
    }
    s.fwhmArcsec = mapped(s.fwhm, o.arcsecPerPixel);
    s.hfrArcsec = mapped(s.hfr, o.arcsecPerPixel);
    return s;
}

}  // namespace

bool PixelView::usable() const {
    if (width <= 0 || height <= 0 || stride < width) return false;
    const std::size_t need =
        static_cast<std::size_t>(height - 1) * static_cast<std::size_t>(stride) +
        static_cast<std::size_t>(width);
    return cells.size() >= need;
}

PixelView pixelView(const PixelArray& pixels) {
    return pixelView(pixels, pixels.width, pixels.height);
}

PixelView pixelView(const PixelArray& pixels, int width, int height) {
    PixelView v;
    v.width = std::max(0, std::min<int>(width, pixels.width));
    v.height = std::max(0, std::min<int>(height, pixels.height));
    v.stride = pixels.width;
    v.cells = pixels.cells;
    if (!v.usable()) v = PixelView{};
    return v;
}

RobustLevel robustLevel(std::span<const std::uint16_t> values) {
    std::vector<std::uint16_t> sorted(values.begin(), values.end());
    std::sort(sorted.begin(), sorted.end());
    std::vector<Run> runs;
    for (const std::uint16_t v : sorted) {
        if (!runs.empty() && runs.back().value == v) {
            runs.back().count += 1.0;
        } else {
            runs.push_back({static_cast<double>(v), 1.0});
        }
    }
    return levelOfRuns(runs, static_cast<double>(sorted.size()));
}

RobustLevel skyLevel(const PixelView& image) {
    if (!image.usable()) return {};
    std::vector<std::uint32_t> histogram(65536, 0);
    for (int j = 0; j < image.height; ++j) {
        for (int i = 0; i < image.width; ++i) ++histogram[image.at0(i, j)];
    }
    std::vector<Run> runs;
    for (std::size_t v = 0; v < histogram.size(); ++v) {
        if (histogram[v] != 0) runs.push_back({static_cast<double>(v), double(histogram[v])});
    }
    return levelOfRuns(runs, static_cast<double>(image.width) * image.height);
}

StarField findStars(const PixelView& im, const StarOptions& o) {
    StarField field;
    if (!im.usable()) return field;
    field.sky = skyLevel(im);
    const RobustLevel& sky = field.sky;
    if (!(sky.sigma > 0.0) || !std::isfinite(sky.median) || !std::isfinite(o.detectSigma) ||
        !std::isfinite(o.minSnr)) {
        return field;
    }
    const int W = im.width, H = im.height;
    const auto at = [W](int i, int j) {
        return static_cast<std::size_t>(j) * static_cast<std::size_t>(W) +
               static_cast<std::size_t>(i);
    };

    // Significance of the 3 x 3 mean (fewer pixels at the edges) over the sky, in its own noise.
    std::vector<std::int32_t> rowSum(static_cast<std::size_t>(W) * static_cast<std::size_t>(H));
    for (int j = 0; j < H; ++j) {
        for (int i = 0; i < W; ++i) {
            std::int32_t s = im.at0(i, j);
            if (i > 0) s += im.at0(i - 1, j);
            if (i + 1 < W) s += im.at0(i + 1, j);
            rowSum[at(i, j)] = s;
        }
    }
    std::vector<float> significance(rowSum.size());
    const double invSigma = 1.0 / sky.sigma;
    for (int j = 0; j < H; ++j) {
        const int rows = 1 + (j > 0) + (j + 1 < H);
        for (int i = 0; i < W; ++i) {
            const int n = rows * (1 + (i > 0) + (i + 1 < W));
            std::int32_t s = rowSum[at(i, j)];
            if (j > 0) s += rowSum[at(i, j - 1)];
            if (j + 1 < H) s += rowSum[at(i, j + 1)];
            significance[at(i, j)] =
                static_cast<float>((s - n * sky.median) * invSigma / std::sqrt(double(n)));
        }
    }

    // Local maxima above the threshold; of equal neighbours the first in reading order.
    struct Candidate {
        float significance;
        int i, j;
    };
    std::vector<Candidate> candidates;
    const auto threshold = static_cast<float>(o.detectSigma);
    for (int j = 0; j < H; ++j) {
        for (int i = 0; i < W; ++i) {
            const float v = significance[at(i, j)];
            if (!(v >= threshold)) continue;
            bool highest = true;
            for (int dj = -1; dj <= 1 && highest; ++dj) {
                for (int di = -1; di <= 1; ++di) {
                    const int ni = i + di, nj = j + dj;
                    if ((di == 0 && dj == 0) || ni < 0 || nj < 0 || ni >= W || nj >= H) continue;
                    const float u = significance[at(ni, nj)];
                    if (u > v || (u == v && (dj < 0 || (dj == 0 && di < 0)))) {
                        highest = false;
                        break;
                    }
                }
            }
            if (highest) candidates.push_back({v, i, j});
        }
    }
    std::sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
        return a.significance != b.significance ? a.significance > b.significance
                                                : (a.j != b.j ? a.j < b.j : a.i < b.i);
    });
    // A field of nebula or a hot column can hold many maxima: measure a bounded number.
    const std::size_t tries = std::max<std::size_t>(4 * o.maxStars, 64);
    if (candidates.size() > tries) candidates.resize(tries);

    const auto insideFound = [&field](double x, double y) {
        for (const Star& s : field.stars) {
            if ((x - s.x) * (x - s.x) + (y - s.y) * (y - s.y) <= s.aperture * s.aperture)
                return true;
        }
        return false;
    };
    // Far enough that no pixel a star uses can be nearer to a star beyond it.
    constexpr double kReach = 2.0 * (kMaxAperture * 2.5 + kAnnulusGap);
    Territory land;
    for (const Candidate& c : candidates) {
        if (field.stars.size() >= o.maxStars) break;
        // A maximum in the light of a brighter star is part of it.
        if (insideFound(c.i + 1.0, c.j + 1.0)) continue;
        land.brighter.clear();
        for (const Star& s : field.stars) {
            if (std::abs(s.x - 1.0 - c.i) < kReach && std::abs(s.y - 1.0 - c.j) < kReach)
                land.brighter.push_back({s.x - 1.0, s.y - 1.0});
        }
        std::optional<Star> star = measure(im, sky, land, c.i, c.j, o);
        if (star && !insideFound(star->x, star->y)) field.stars.push_back(*star);
    }
    std::stable_sort(field.stars.begin(), field.stars.end(),
                     [](const Star& a, const Star& b) { return a.flux > b.flux; });
    field.summary = summarizeStars(field.stars);
    return field;
}

StarSummary summarizeStars(const std::vector<Star>& stars) {
    StarSummary summary;
    summary.count = stars.size();
    std::vector<double> fwhm, hfr, fwhmArcsec, hfrArcsec;
    for (const Star& s : stars) {
        if (s.fwhm) fwhm.push_back(*s.fwhm);
        if (s.hfr) hfr.push_back(*s.hfr);
        if (s.fwhmArcsec) fwhmArcsec.push_back(*s.fwhmArcsec);
        if (s.hfrArcsec) hfrArcsec.push_back(*s.hfrArcsec);
    }
    if (!fwhm.empty()) summary.medianFwhm = median(fwhm);
    if (!hfr.empty()) summary.medianHfr = median(hfr);
    if (!fwhmArcsec.empty()) summary.medianFwhmArcsec = median(fwhmArcsec);
    if (!hfrArcsec.empty()) summary.medianHfrArcsec = median(hfrArcsec);
    return summary;
}

std::optional<double> arcsecPerPixel(double pixelMicrometres, double focalMillimetres) {
    if (!std::isfinite(pixelMicrometres) || !std::isfinite(focalMillimetres) ||
        !(pixelMicrometres > 0.0) || !(focalMillimetres > 0.0)) {
        return std::nullopt;
    }
    const double scale = 206.265 * pixelMicrometres / focalMillimetres;
    if (!std::isfinite(scale)) return std::nullopt;
    return scale;
}

std::optional<double> imageArcsecPerPixel(float pixelsizeMm, float focallength, bool unitscm) {
    return arcsecPerPixel(static_cast<double>(pixelsizeMm) * 1000.0,
                          static_cast<double>(focallength) * (unitscm ? 10.0 : 25.4));
}

}  // namespace qtx

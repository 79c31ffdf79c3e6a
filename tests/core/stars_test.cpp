// Star measurement on generated frames: Gaussian stars of known place, width and flux, each
// pixel holding the light that falls on it, with or without Poisson noise on a sky level.
#include "analysis/stars.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <random>
#include <tuple>
#include <vector>

#include "analysis/track_offsets.hpp"

namespace qtx::test {
namespace {

struct TrueStar {
    double x, y, fwhm, flux;
};

// A width x height frame: sky plus the stars, Poisson noise when a seed is given, cut at 65535.
PixelArray frame(int width, int height, double sky, const std::vector<TrueStar>& stars,
                 std::optional<unsigned> seed = std::nullopt) {
    std::vector<double> light(static_cast<std::size_t>(width * height), sky);
    for (const TrueStar& s : stars) {
        const double k = 1.0 / (s.fwhm / 2.3548200450309493 * std::sqrt(2.0));
        const auto share = [k](double centre, int pixel) {
            return 0.5 *
                   (std::erf((pixel + 0.5 - centre) * k) - std::erf((pixel - 0.5 - centre) * k));
        };
        for (int y = 1; y <= height; ++y) {
            for (int x = 1; x <= width; ++x)
                light[std::size_t((y - 1) * width + x - 1)] +=
                    s.flux * share(s.x, x) * share(s.y, y);
        }
    }
    std::mt19937 random(seed.value_or(0));
    PixelArray p;
    p.resize(static_cast<std::int16_t>(width), static_cast<std::int16_t>(height));
    for (std::size_t n = 0; n < light.size(); ++n) {
        double v = light[n];
        if (seed) v = std::poisson_distribution<long>(v)(random);
        p.cells[n] = static_cast<std::uint16_t>(std::min(std::nearbyint(v), 65535.0));
    }
    return p;
}

const Star* nearest(const StarField& field, const TrueStar& t, double within) {
    const Star* best = nullptr;
    for (const Star& s : field.stars) {
        const double d = std::hypot(s.x - t.x, s.y - t.y);
        if (d <= within && (!best || d < std::hypot(best->x - t.x, best->y - t.y))) best = &s;
    }
    return best;
}

TEST(Stars, RobustLevelOfCounts) {
    const struct {
        std::vector<std::uint16_t> values;
        double median, sigma;
    } cases[] = {
        {{7, 7, 7, 7}, 7.0, 0.37065},                        // flat: a quarter count of MAD
        {{1, 2, 3, 4, 100}, 3.0, 1.85325},                   // MAD 1.25, the outlier ignored
        {{1, 2}, 1.5, 0.7413},                               // even spread over [0.5, 2.5)
        {{10, 10, 10, 11}, 10.166667, 0.37065 * 4.0 / 3.0},  // MAD 1/3 about 10 1/6
        {{}, 0.0, 0.0},
    };
    for (const auto& c : cases) {
        const RobustLevel level = robustLevel(c.values);
        EXPECT_NEAR(level.median, c.median, 1e-5) << c.values.size();
        EXPECT_NEAR(level.sigma, c.sigma, 1e-5) << c.values.size();
    }
}

// Stars of 2.5 to 6 pixels FWHM over a 320 x 200 frame, one near each corner.
const std::vector<TrueStar> kField = {
    {40.3, 30.7, 3.0, 60000},     {290.55, 25.2, 2.5, 40000},  {160.0, 100.0, 4.0, 80000},
    {25.8, 170.45, 3.5, 30000},   {300.1, 180.9, 6.0, 120000}, {110.62, 60.38, 3.2, 20000},
    {220.27, 140.81, 5.0, 50000}, {75.5, 120.5, 2.8, 15000},
};

TEST(Stars, MeasuresGaussianStars) {
    const struct {
        std::optional<unsigned> seed;
        double place, width, hfr, flux;
    } cases[] = {
        {std::nullopt, 0.05, 0.03, 0.03, 0.01},
        {11u, 0.2, 0.10, 0.06, 0.05},
        {12u, 0.2, 0.10, 0.06, 0.05},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.seed.value_or(0));
        const PixelArray pixels = frame(320, 200, 200.0, kField, c.seed);
        StarOptions options;
        options.arcsecPerPixel = 2.0;
        const StarField field = findStars(pixelView(pixels), options);
        ASSERT_EQ(field.stars.size(), kField.size());
        for (std::size_t n = 1; n < field.stars.size(); ++n)
            EXPECT_GE(field.stars[n - 1].flux, field.stars[n].flux);
        for (const TrueStar& t : kField) {
            SCOPED_TRACE(t.x);
            const Star* s = nearest(field, t, c.place);
            ASSERT_NE(s, nullptr);
            EXPECT_FALSE(s->saturated || s->clipped);
            ASSERT_TRUE(s->fwhm && s->hfr);
            EXPECT_NEAR(*s->fwhm, t.fwhm, c.width * t.fwhm);
            // A Gaussian's half-flux radius is half its FWHM; the pixel's square widens it
            // twice, once as the pixel gathers the light and once as its light is spread.
            const double sigma2 = std::pow(t.fwhm / 2.3548200450309493, 2) + 2.0 / 12.0;
            EXPECT_NEAR(*s->hfr, 1.1774100225154747 * std::sqrt(sigma2), c.hfr * t.fwhm / 2);
            EXPECT_NEAR(s->flux, t.flux, c.flux * t.flux);
            EXPECT_NEAR(s->background, 200.0, c.seed ? 3.0 : 0.5);
            EXPECT_DOUBLE_EQ(*s->fwhmArcsec, 2.0 * *s->fwhm);
            EXPECT_DOUBLE_EQ(*s->hfrArcsec, 2.0 * *s->hfr);
        }
        ASSERT_TRUE(field.summary.medianFwhm && field.summary.medianHfrArcsec);
        EXPECT_EQ(field.summary.count, kField.size());
        EXPECT_NEAR(*field.summary.medianFwhm, 3.35, c.width * 3.35);  // between 3.2 and 3.5
    }
}

// Faint stars of signal-to-noise 10 in an aperture of twice their FWHM (counts are photons):
// every one is found, and nothing else.
TEST(Stars, FindsEveryStarOfSnr10) {
    constexpr double kSky = 200.0;
    std::vector<TrueStar> faint;
    for (int n = 0; n < 24; ++n) {
        const double fwhm = 2.5 + (n % 4);
        const double pixels = 3.14159265 * 2.25 * fwhm * fwhm;
        const double flux = (100.0 + std::sqrt(100.0 * 100.0 + 400.0 * pixels * kSky)) / 2.0;
        faint.push_back(
            {25.0 + 38.0 * (n % 8) + 0.3 * (n % 3), 40.0 + 50.0 * (n / 8) + 0.2 * n, fwhm, flux});
    }
    StarOptions options;
    options.gain = 1.0;
    for (const unsigned seed : {1u, 2u, 3u}) {
        const StarField field = findStars(pixelView(frame(320, 200, kSky, faint, seed)), options);
        EXPECT_EQ(field.stars.size(), faint.size()) << seed;
        for (const TrueStar& t : faint)
            EXPECT_NE(nearest(field, t, 1.0), nullptr) << seed << " " << t.x;
    }
}

TEST(Stars, NoStarInNoise) {
    const std::pair<double, std::optional<unsigned>> cases[] = {
        {3.0, 1u}, {100.0, 2u}, {100.0, 3u}, {1000.0, 4u}, {30000.0, 5u}, {500.0, {}}};
    for (const auto& [sky, seed] : cases)
        EXPECT_TRUE(findStars(pixelView(frame(320, 200, sky, {}, seed))).stars.empty()) << sky;
    EXPECT_TRUE(findStars(PixelView{}).stars.empty());
}

// A star cut at the saturation level, two whose apertures leave the image and a faint one
// beside a bright one are marked and get no widths; a hot pixel is no star.
TEST(Stars, MarksSaturatedAndClippedStars) {
    const struct {
        std::uint16_t saturation;
        double brightFlux;
    } cases[] = {{65535, 2.0e6}, {4095, 60000}};
    for (const auto& c : cases) {
        PixelArray pixels = frame(120, 80, 100.0,
                                  {{30.2, 40.6, 3.0, c.brightFlux},  // peak above the level
                                   {2.5, 20.0, 3.0, 20000},          // 2.5 px from the left
                                   {45.0, 79.2, 3.0, 20000},         // on the bottom row
                                   {90.0, 50.0, 3.0, 20000},
                                   {95.0, 55.0, 3.0, 3000}},
                                  7u);
        pixels.at(60, 20) = 3000;
        for (auto& v : pixels.cells) v = std::min(v, c.saturation);
        StarOptions options;
        options.saturation = c.saturation;
        options.arcsecPerPixel = -1.0;  // no scale
        const StarField field = findStars(pixelView(pixels), options);
        ASSERT_EQ(field.stars.size(), 5U) << c.saturation;
        const Star& bright = *nearest(field, {30.2, 40.6, 3, 0}, 0.3);
        // Cut by an edge, still within a quarter pixel of their places.
        const Star& edge = *nearest(field, {2.5, 20.0, 3, 0}, 0.25);
        const Star& bottom = *nearest(field, {45.0, 79.2, 3, 0}, 0.25);
        const Star& whole = *nearest(field, {90.0, 50.0, 3, 0}, 0.2);
        const Star& faint = *nearest(field, {95.0, 55.0, 3, 0}, 0.2);
        EXPECT_TRUE(bright.saturated && !bright.clipped && !bright.fwhm && !bright.hfr);
        EXPECT_EQ(bright.peak, c.saturation);
        EXPECT_TRUE(edge.clipped && !edge.saturated && !edge.fwhm && !edge.hfr && bottom.clipped);
        EXPECT_TRUE(!whole.clipped && !whole.saturated && !whole.blended && whole.fwhm &&
                    whole.hfr);
        EXPECT_TRUE(faint.blended && !faint.clipped && !faint.fwhm);
        EXPECT_FALSE(bright.blended || edge.blended);
        EXPECT_FALSE(whole.fwhmArcsec);
        EXPECT_NEAR(*field.summary.medianFwhm, 3.0, 0.3);
    }
}

// The first width x height pixels of a larger array: columns beyond are not seen, and places
// are the same as in the whole array.
TEST(Stars, ViewOfPartOfTheArray) {
    const PixelArray pixels =
        frame(64, 48, 100.0, {{20.4, 15.7, 3.0, 20000}, {55.0, 30.0, 3.0, 20000}});
    const StarField part = findStars(pixelView(pixels, 40, 40));
    ASSERT_EQ(part.stars.size(), 1U);
    EXPECT_NEAR(part.stars[0].x, 20.4, 0.05);
    EXPECT_NEAR(part.stars[0].y, 15.7, 0.05);
    EXPECT_EQ(findStars(pixelView(pixels, 64, 100)).stars.size(), 2U);  // cut to the array
    EXPECT_EQ(pixelView(pixels, 0, 48).width, 0);
}

// Medians over the stars that have widths: the middle one, or the mean of the middle two.
TEST(Stars, Summary) {
    const auto star = [](std::optional<double> fwhm, std::optional<double> hfr) {
        Star s;
        s.fwhm = fwhm, s.hfr = hfr, s.fwhmArcsec = fwhm, s.hfrArcsec = hfr;
        return s;
    };
    const StarSummary odd = summarizeStars({star(3, 1), star(1, 4), star({}, {}), star(2, 2)});
    EXPECT_TRUE(odd.count == 4 && odd.medianFwhm == 2.0 && odd.medianHfrArcsec == 2.0);
    const StarSummary even = summarizeStars({star(4, 1), star(1, 3), star(3, 2), star(2, {})});
    EXPECT_TRUE(even.medianFwhmArcsec == 2.5 && even.medianHfr == 2.0);  // HFR of three
    EXPECT_FALSE(summarizeStars({star({}, {})}).medianFwhm);
}

TEST(Stars, PixelScale) {
    const std::tuple<double, double, double> cases[] = {
        // -1: none
        {7.4, 1000.0, 1.526361}, {14.8, 500.0, 6.105444}, {0.0, 1000.0, -1},      {7.4, 0.0, -1},
        {-7.4, 1000.0, -1},      {7.4, NAN, -1},          {INFINITY, 1000.0, -1},
    };
    for (const auto& [um, mm, scale] : cases)
        EXPECT_NEAR(arcsecPerPixel(um, mm).value_or(-1), scale, 1e-6) << um << " " << mm;
    EXPECT_NEAR(*imageArcsecPerPixel(0.0074F, 40.0F, false), 1.502324, 1e-5);  // 1016 mm
    EXPECT_NEAR(*imageArcsecPerPixel(0.0148F, 100.0F, true), 3.052722, 1e-5);  // 1000 mm
    EXPECT_FALSE(imageArcsecPerPixel(0.0074F, 0.0F, true));
}

TEST(TrackScatter, OffsetsAndRms) {
    const struct {
        std::vector<std::pair<int, int>> pairs;
        int count;  // trackcount as held
        std::optional<double> scale;
        double meanX, meanY, rmsX, rmsY, rms;
    } cases[] = {
        {{{3, -2}}, 1, 2.0, 3.0, -2.0, 0.0, 0.0, 0.0},
        {{{0, 0}, {2, 0}, {4, 0}}, 3, {}, 2.0, 0.0, 1.632993, 0.0, 1.632993},
        {{{1, -2}, {3, 2}}, 2, 2.0, 2.0, 0.0, 1.0, 2.0, 2.236068},
        {{{5, 5}, {-5, 5}}, 0, {}, 5.0, 5.0, 0.0, 0.0, 0.0},  // no count: the first exposure
    };
    for (const auto& c : cases) {
        TrackOffsets track;
        for (std::size_t k = 0; k < c.pairs.size(); ++k) {
            track.trackx[k + 1] = static_cast<std::int16_t>(c.pairs[k].first);
            track.tracky[k + 1] = static_cast<std::int16_t>(c.pairs[k].second);
        }
        track.trackcount = static_cast<std::int16_t>(c.count);
        const TrackScatter t = trackScatter(track, c.scale);
        ASSERT_EQ(t.exposures.size(), static_cast<std::size_t>(std::max(c.count, 1)));
        EXPECT_EQ(t.exposures.back().number, std::max(c.count, 1));
        EXPECT_EQ(t.exposures.back().x, c.pairs[t.exposures.size() - 1].first);
        const double scale = c.scale.value_or(0);
        const std::pair<double, double> got[] = {{t.meanX, c.meanX},
                                                 {t.meanY, c.meanY},
                                                 {t.rmsX, c.rmsX},
                                                 {t.rmsY, c.rmsY},
                                                 {t.rms, c.rms},
                                                 {t.rmsXArcsec.value_or(0), c.rmsX * scale},
                                                 {t.rmsYArcsec.value_or(0), c.rmsY * scale},
                                                 {t.rmsArcsec.value_or(0), c.rms * scale}};
        for (const auto& [value, expected] : got) EXPECT_NEAR(value, expected, 1e-6);
        EXPECT_EQ(t.rmsArcsec.has_value(), c.scale.has_value());
    }
    TrackOffsets many;
    many.trackcount = 70;
    many.trackx[64] = 64;
    EXPECT_EQ(trackScatter(many).exposures.size(), 64U);
    EXPECT_NEAR(trackScatter(many).meanX, 1.0, 1e-9);
}

}  // namespace
}  // namespace qtx::test

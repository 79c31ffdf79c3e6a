// Star detection and measurement on one image, for focusing and judging an exposure.
//
//   sky          median and sigma = 1.4826 MAD of the whole frame (integer counts taken as
//                spread evenly over their unit, so a flat frame still has a small sigma)
//   candidates   local maxima of the 3 x 3 mean at least `detectSigma` of its own noise
//                above the sky
//   each star    brightest first, on the pixels nearer to it than to any brighter star:
//                Gaussian-weighted centroid and width (adaptive moments), local background
//                (median of an annulus), flux, peak and half-flux radius in an aperture of
//                1.5 FWHM, signal-to-noise of that flux; kept when it reaches `minSnr`
//
// Coordinates are the probe's: x the column, y the row, the centre of the first pixel at
// (1.0, 1.0). Nothing here allocates beyond the image's own size or reads outside it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "image/state.hpp"

namespace qtx {

// Read-only pixels: `width` x `height`, row 1 first, rows `stride` cells apart, column 1 first.
struct PixelView {
    int width = 0;
    int height = 0;
    int stride = 0;
    std::span<const std::uint16_t> cells;

    // Holds every pixel it claims (an unusable view counts as empty).
    bool usable() const;
    std::uint16_t at0(int column0, int row0) const {
        return cells[static_cast<std::size_t>(row0) * static_cast<std::size_t>(stride) +
                     static_cast<std::size_t>(column0)];
    }
};

// A view of a whole pixel array; and of its first width x height pixels (what the image's
// size says; cut to what the array holds, which may be less during a reception).
PixelView pixelView(const PixelArray& pixels);
PixelView pixelView(const PixelArray& pixels, int width, int height);

struct RobustLevel {
    double median = 0.0;
    double sigma = 0.0;  // 1.4826 x MAD
};

// Median and sigma of integer counts, each taken as spread evenly over [v - 0.5, v + 0.5):
// all-equal values give their value and sigma 1.4826 / 4. Empty input gives zeros.
RobustLevel robustLevel(std::span<const std::uint16_t> values);
RobustLevel skyLevel(const PixelView& image);

struct Star {
    double x = 0.0;           // column, 1-based
    double y = 0.0;           // row, 1-based
    std::uint16_t peak = 0;   // highest count in the aperture
    double background = 0.0;  // counts a pixel, median of the annulus around the star
    double flux = 0.0;        // counts above the background within the aperture
    double snr = 0.0;         // flux over its noise
    double aperture = 0.0;    // aperture radius in pixels
    bool saturated = false;   // a pixel of the aperture at the saturation level
    bool clipped = false;     // the aperture reaches past an edge of the image
    bool blended = false;     // part of the aperture is nearer to a brighter star (and left out)
    // Widths in pixels and in arcseconds when the scale is known. The FWHM is the star's
    // light's, the pixel's own width taken out (a Gaussian's moments); the HFR is the radius
    // that holds half the flux of the pixels, each pixel's light spread over its square. Empty
    // for a saturated, clipped or blended star, whose profile is not whole.
    std::optional<double> fwhm;
    std::optional<double> hfr;
    std::optional<double> fwhmArcsec;
    std::optional<double> hfrArcsec;
};

struct StarSummary {
    std::size_t count = 0;  // every star found
    // Medians over the stars with widths; empty when none has one.
    std::optional<double> medianFwhm;
    std::optional<double> medianHfr;
    std::optional<double> medianFwhmArcsec;
    std::optional<double> medianHfrArcsec;
};

struct StarOptions {
    double minSnr = 5.0;
    double detectSigma = 5.0;
    std::uint16_t saturation = 65535;
    std::optional<double> arcsecPerPixel;
    // Electrons per count, for the star's own shot noise in the SNR; without it only the
    // sky's noise counts.
    std::optional<double> gain;
    std::size_t maxStars = 1000;
};

struct StarField {
    RobustLevel sky;
    std::vector<Star> stars;  // the brightest (largest flux) first
    StarSummary summary;
};

StarField findStars(const PixelView& image, const StarOptions& options = {});
StarSummary summarizeStars(const std::vector<Star>& stars);

// Arcseconds a pixel: 206.265 x pixel size (um) / focal length (mm); nothing unless both are
// positive and finite.
std::optional<double> arcsecPerPixel(double pixelMicrometres, double focalMillimetres);
// The same from the image's own figures: `pixelsize` in millimetres and `focallength` in
// centimetres when `unitscm`, else inches.
std::optional<double> imageArcsecPerPixel(float pixelsizeMm, float focallength, bool unitscm);

}  // namespace qtx

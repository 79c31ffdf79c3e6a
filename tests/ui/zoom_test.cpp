#include "zoom.hpp"

#include <gtest/gtest.h>

namespace qtx::test {
namespace {

TEST(ZoomTest, ScreenPointToPicturePixel) {
    const struct {
        double screen;
        int factor;
        double pixel;
    } cases[] = {
        {0, 1, 0},   {0.9, 1, 0},     {1, 1, 1},     {319.5, 1, 319}, {1.9, 2, 0},
        {2, 2, 1},   {639, 2, 319},   {2.99, 3, 0},  {3, 3, 1},       {35, 3, 11},
        {36, 3, 12}, {959.9, 3, 319}, {-0.5, 3, -1},  // just off the left edge stays off it
    };
    for (const auto& c : cases) {
        EXPECT_EQ(picturePixelAt(c.screen, c.factor), c.pixel) << c.screen << " at " << c.factor;
    }
}

TEST(ZoomTest, FitAndTheKeys) {
    const struct {
        Zoom zoom;
        int width, height, factor;
    } fits[] = {
        {Zoom::Fit, 640, 400, 2},   {Zoom::Fit, 959, 600, 2},   {Zoom::Fit, 960, 600, 3},
        {Zoom::Fit, 1920, 601, 3},  {Zoom::Fit, 2000, 1000, 5}, {Zoom::Fit, 319, 199, 1},
        {Zoom::Fit, 0, 0, 1},       {Zoom::Fit, -4, 100, 1},  // fixed zooms ignore the room:
        {Zoom::One, 2000, 1000, 1}, {Zoom::Three, 320, 200, 3}, {kStartZoom, 0, 0, 2},
    };
    for (const auto& f : fits) {
        EXPECT_EQ(zoomFactor(f.zoom, f.width, f.height, 320, 200), f.factor)
            << f.width << " x " << f.height;
    }
    // Ctrl+Plus and Ctrl+Minus walk the four zooms and stop at the ends.
    Zoom zoom = Zoom::One;
    std::vector<Zoom> walked;
    for (int i = 0; i < 8; ++i) walked.push_back(zoom = i < 4 ? zoomIn(zoom) : zoomOut(zoom));
    EXPECT_EQ(walked, (std::vector<Zoom>{Zoom::Two, Zoom::Three, Zoom::Fit, Zoom::Fit, Zoom::Three,
                                         Zoom::Two, Zoom::One, Zoom::One}));
}

}  // namespace
}  // namespace qtx::test

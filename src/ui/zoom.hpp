// The zoom arithmetic of the picture, free of the toolkit: whole screen pixels per picture
// pixel, so every picture pixel stays a sharp square and a screen point names exactly one.
#pragma once

namespace qtx {

// A fixed zoom is its factor.
enum class Zoom { Fit = 0, One = 1, Two = 2, Three = 3 };

// What the window opens with and Ctrl+0 returns to.
inline constexpr Zoom kStartZoom = Zoom::Two;

// Ctrl+Plus and Ctrl+Minus walk 1x, 2x, 3x, fit and stop at either end.
Zoom zoomIn(Zoom zoom);
Zoom zoomOut(Zoom zoom);

// Screen pixels per picture pixel at `zoom`. The room counts only for fit: the largest whole
// factor at which a surface of `surfaceWidth` x `surfaceHeight` (both positive) fits in
// `availableWidth` x `availableHeight`, at least 1 however small the room.
int zoomFactor(Zoom zoom, int availableWidth, int availableHeight, int surfaceWidth,
               int surfaceHeight);

// The picture pixel (column or row from 0) under a screen coordinate of the picture at
// `factor`: the square it falls in, its left or top edge included.
double picturePixelAt(double screen, int factor);

}  // namespace qtx

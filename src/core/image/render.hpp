// Grey levels of the picture: a pixel value p shows as
//   g = round-half-even((p - background) / s), clamped to 0..255,
// with the divisor s = range / 256 worked out once per picture as a 32-bit float.
#pragma once

#include <cstdint>

namespace qtx {

// The divisor s for a range; the range is never 0 when a picture is drawn.
float levelStep(std::int32_t range);

// The grey level of pixel value p. Never faults: a step of 0 gives white above the
// background and black elsewhere.
std::uint8_t greyLevel(std::uint16_t p, std::int32_t background, float step);

}  // namespace qtx

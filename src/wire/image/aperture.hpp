// The effective aperture area: the disc of the diameter times an efficiency factor.
#pragma once

namespace qtx {

// The constant the QTX's own figures use, not a more precise pi.
inline constexpr double kAperturePi = 3.141592;

inline double discArea(double diameter) { return diameter * diameter * kAperturePi / 4.0; }

// `apertureflag` selects the factor of an obstructed aperture.
inline double apertureFactor(bool apertureflag) { return apertureflag ? 0.7223644800000001 : 0.98; }

}  // namespace qtx

// Number texts and number reading, the one place where numbers become text and back.
// The point is always ".", whatever the locale.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qtx {

// Decimal text with a leading blank for zero and positive numbers, "-" for negative ones.
std::string signedText(std::int64_t value);

// Formats by a number pattern such as "##0.000", "###.##", "0.0000" or "###": a "0" place
// is always printed, a "#" place only when significant, the point (when the pattern has
// one) always, the value rounded to the places after the point, "-" before a negative
// value that does not round to zero.
std::string formatPattern(double value, std::string_view pattern);

// A single-precision value in its shortest form of at most 7 significant digits, with the
// sign position of signedText: 12.5 gives " 12.5", -0.25 gives "-0.25".
std::string numberText(float value);

// Lenient reading: leading blanks skipped, optional sign, digits with "." as point and an
// optional exponent; reading stops at the first character that cannot continue the
// number; no leading number gives 0.
double readNumber(std::string_view text);

// The number when the text, blanks before and after aside, is one number and nothing else.
std::optional<double> readWholeNumber(std::string_view text);

// Nearest integer, a half going to the even neighbour (12.5 -> 12, 13.5 -> 14).
double roundHalfEven(double value);

// roundHalfEven as a 32-bit integer; nothing when the result does not fit (or NaN).
std::optional<std::int32_t> roundToInt32(double value);

// A derived file name: the path cut before the first "." of its file name, followed by the
// new extension (given with its dot, or empty for the bare base). Only the file name, the
// part after the last "/" or "\", is cut: dots in folder names stay, and so do the dots
// that start a file name (".m31" is a name, not an extension).
std::string basePath(std::string_view path, std::string_view extension);

}  // namespace qtx

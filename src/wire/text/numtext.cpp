#include "text/numtext.hpp"

#include <algorithm>
#include <cfenv>
#include <charconv>
#include <cmath>
#include <limits>

namespace qtx {

std::string signedText(std::int64_t value) {
    return (value < 0 ? "" : " ") + std::to_string(value);
}

std::string formatPattern(double value, std::string_view pattern) {
    const auto point = pattern.find('.');
    const std::string_view whole = pattern.substr(0, point);
    const std::string_view fraction =
        point == std::string_view::npos ? std::string_view{} : pattern.substr(point + 1);
    std::size_t minWhole = 0;
    for (char c : whole) minWhole += c == '0' ? 1 : 0;
    std::size_t minFraction = 0;
    for (char c : fraction) minFraction += c == '0' ? 1 : 0;
    if (!std::isfinite(value)) value = 0.0;

    // Fixed notation of a double needs at most 309 digits before the point.
    char digits[512];
    const auto written = std::to_chars(digits, digits + sizeof digits, std::fabs(value),
                                       std::chars_format::fixed, static_cast<int>(fraction.size()));
    std::string text(digits, written.ptr);
    std::string intPart = text.substr(0, text.find('.'));
    std::string fracPart =
        text.find('.') == std::string::npos ? std::string{} : text.substr(text.find('.') + 1);
    while (fracPart.size() > minFraction && fracPart.back() == '0') fracPart.pop_back();
    if (intPart == "0") intPart.clear();
    while (intPart.size() < minWhole) intPart.insert(intPart.begin(), '0');

    const bool nonZero = intPart.find_first_not_of('0') != std::string::npos ||
                         fracPart.find_first_not_of('0') != std::string::npos;
    std::string out = (value < 0 && nonZero) ? "-" : "";
    out += intPart;
    if (point != std::string_view::npos) out += "." + fracPart;
    return out;
}

std::string numberText(float value) {
    char buf[64];
    const auto written = std::to_chars(buf, buf + sizeof buf, static_cast<double>(value),
                                       std::chars_format::general, 7);
    std::string text(buf, written.ptr);
    for (char& c : text) {
        if (c == 'e') c = 'E';
    }
    return (value < 0 ? "" : " ") + text;
}

namespace {

struct ScannedNumber {
    double value = 0.0;
    std::size_t end = 0;  // index after the last character taken
    bool found = false;   // at least one digit
};

// The power of ten of the number's leading digit (digits "d.ddd" then an optional exponent):
// only its sign matters, to tell a number too small for a double from one too large.
std::int64_t decimalMagnitude(std::string_view number) {
    const std::size_t e = number.find_first_of("eE");
    const std::string_view mantissa = number.substr(0, e);
    std::int64_t exponent = 0;
    if (e != std::string_view::npos) {
        std::string_view digits = number.substr(e + 1);
        const bool negative = !digits.empty() && digits.front() == '-';
        if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) {
            digits.remove_prefix(1);
        }
        for (char c : digits) {
            exponent = std::min<std::int64_t>(exponent * 10 + (c - '0'), 1'000'000'000);
        }
        if (negative) exponent = -exponent;
    }
    const std::size_t point = std::min(mantissa.find('.'), mantissa.size());
    const std::size_t lead = mantissa.find_first_of("123456789");
    if (lead == std::string_view::npos) return -1;  // all zeros: no magnitude at all
    const auto place = lead < point ? static_cast<std::int64_t>(point - lead - 1)
                                    : -static_cast<std::int64_t>(lead - point);
    return place + exponent;
}

ScannedNumber scanNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const std::size_t numberStart = i;
    std::size_t digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
    }
    if (digits == 0) return {};
    // An exponent counts only when digits follow it ("2e" reads as 2).
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
        if (j < text.size() && text[j] >= '0' && text[j] <= '9') {
            while (j < text.size() && text[j] >= '0' && text[j] <= '9') ++j;
            i = j;
        }
    }
    std::string number(text.substr(numberStart, i - numberStart));
    if (number.front() == '.') number.insert(number.begin(), '0');
    double value = 0.0;
    const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        value = decimalMagnitude(number) < 0 ? 0.0 : std::numeric_limits<double>::infinity();
    }
    return {negative ? -value : value, i, true};
}

}  // namespace

double readNumber(std::string_view text) { return scanNumber(text).value; }

std::optional<double> readWholeNumber(std::string_view text) {
    const ScannedNumber scanned = scanNumber(text);
    if (!scanned.found) return std::nullopt;
    for (std::size_t i = scanned.end; i < text.size(); ++i) {
        if (text[i] != ' ' && text[i] != '\t') return std::nullopt;
    }
    return scanned.value;
}

double roundHalfEven(double value) {
    // The default rounding mode rounds a half to the even neighbour.
    const int saved = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double rounded = std::nearbyint(value);
    std::fesetround(saved);
    return rounded;
}

std::optional<std::int32_t> roundToInt32(double value) {
    const double rounded = roundHalfEven(value);
    if (!(rounded >= std::numeric_limits<std::int32_t>::min() &&
          rounded <= std::numeric_limits<std::int32_t>::max())) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(rounded);
}

std::string basePath(std::string_view path, std::string_view extension) {
    // "/" separates folders where the console runs. "\" counts as well: observers copy
    // paths in the QTX's Windows form (C:\obs.2001\m31), and a dot in such a folder must
    // not cut the name off; a Linux file name with a "\" in it is only cut later, never
    // earlier. npos + 1 is 0: a path without separator is all file name, and a search from
    // npos finds nothing.
    const std::size_t name = path.find_last_of("/\\") + 1;
    const std::size_t dot = path.find('.', path.find_first_not_of('.', name));
    return std::string(path.substr(0, dot)) + std::string(extension);
}

}  // namespace qtx

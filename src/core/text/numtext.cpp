#include "text/numtext.hpp"

#include <cfenv>
#include <charconv>
#include <cmath>
#include <cstdio>
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

    char digits[512];
    std::snprintf(digits, sizeof digits, "%.*f", static_cast<int>(fraction.size()),
                  std::fabs(value));
    std::string text = digits;
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
    std::snprintf(buf, sizeof buf, "%.7G", static_cast<double>(value));
    std::string text = buf;
    return (value < 0 ? "" : " ") + text;
}

namespace {

struct ScannedNumber {
    double value = 0.0;
    std::size_t end = 0;  // index after the last character taken
    bool found = false;   // at least one digit
};

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
        // Too large gives infinity; too small gives 0.
        const bool tiny = number.find_first_of("123456789") != std::string::npos &&
                          (number.find("e-") != std::string::npos ||
                           number.find("E-") != std::string::npos);
        value = tiny ? 0.0 : std::numeric_limits<double>::infinity();
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
    return std::string(path.substr(0, path.find('.'))) + std::string(extension);
}

}  // namespace qtx

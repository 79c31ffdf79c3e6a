#include "files/fits_keywords.hpp"

#include <chrono>
#include <cmath>

#include "text/numtext.hpp"

namespace qtx {

namespace {

constexpr std::string_view kBlanks = " \t";

std::string_view trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// Header texts are printable ASCII; a note in another character set or a control character
// shows as '?'.
std::string printable(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        const auto code = static_cast<unsigned char>(c);
        if (code < 0x20 || code > 0x7E) c = '?';
    }
    return out;
}

// A text value: quoted, a quote inside doubled, cut to what a card holds, and padded to eight
// characters as the fixed format of the standard has it.
std::string quoted(std::string_view text) {
    constexpr std::size_t kRoom = 68;  // 80 columns less "NAME    = " and the two quotes
    std::string inner;
    for (const char c : printable(text)) {
        const std::size_t width = c == '\'' ? 2 : 1;
        if (inner.size() + width > kRoom) break;
        inner.append(width, c);
    }
    if (inner.size() < 8) inner.resize(8, ' ');
    return "'" + inner + "'";
}

std::string whole(std::int64_t value) {
    const std::string text = signedText(value);
    return text.front() == ' ' ? text.substr(1) : text;
}

// The value of at most four decimal digits (a year is the longest); nothing for any other text.
std::optional<int> digitsValue(std::string_view digits) {
    if (digits.size() > 4) return std::nullopt;
    int value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::string twoDigits(int value) {
    return {static_cast<char>('0' + value / 10 % 10), static_cast<char>('0' + value % 10)};
}

}  // namespace

double millimetres(float length, bool unitscm) {
    return static_cast<double>(length) * (unitscm ? 10.0 : 25.4);
}

double squareMillimetres(float area, bool unitscm) {
    return static_cast<double>(area) * (unitscm ? 100.0 : 645.16);
}

double micrometres(float lengthMm) { return static_cast<double>(lengthMm) * 1000.0; }

std::optional<std::string> isoDateTime(std::string_view date, std::string_view time) {
    date = trimmed(date);
    time = trimmed(time);
    if (date.size() != 10 || date[2] != '/' || date[5] != '/') return std::nullopt;
    const std::optional<int> month = digitsValue(date.substr(0, 2));
    const std::optional<int> day = digitsValue(date.substr(3, 2));
    const std::optional<int> year = digitsValue(date.substr(6, 4));
    if (!month || !day || !year) return std::nullopt;
    const std::chrono::year_month_day ymd{std::chrono::year{*year},
                                          std::chrono::month{static_cast<unsigned>(*month)},
                                          std::chrono::day{static_cast<unsigned>(*day)}};
    if (!ymd.ok()) return std::nullopt;
    std::string out =
        twoDigits(*year / 100) + twoDigits(*year) + "-" + twoDigits(*month) + "-" + twoDigits(*day);

    const std::size_t first = time.find(':');
    const std::size_t second = first == std::string_view::npos ? first : time.find(':', first + 1);
    if (second == std::string_view::npos || second - first != 3 || time.size() - second != 3) {
        return out;
    }
    const std::optional<int> hour = digitsValue(time.substr(0, first));  // "" is hour 0
    const std::optional<int> minute = digitsValue(time.substr(first + 1, 2));
    const std::optional<int> second_ = digitsValue(time.substr(second + 1, 2));
    if (!hour || !minute || !second_ || *hour > 23 || *minute > 59 || *second_ > 59) return out;
    return out + "T" + twoDigits(*hour) + ":" + twoDigits(*minute) + ":" + twoDigits(*second_);
}

std::vector<FitsCard> fitsCards(const ImageRecord& r, const KelmHeader* file, bool unitscm,
                                std::string_view software) {
    std::vector<FitsCard> cards;
    const auto add = [&cards](const char* name, std::string value, const char* comment) {
        cards.push_back({name, std::move(value), comment});
    };
    // A received image has every fact of its header block. A loaded one has what its file's
    // lines hold; where a line is missing the record still holds the image before's value.
    const auto held = [file](auto KelmHeader::*line) { return !file || (file->*line).has_value(); };

    if (held(&KelmHeader::imagedate)) {
        const std::string time = held(&KelmHeader::imagetime) ? r.imagetime : "";
        if (const auto when = isoDateTime(r.imagedate, time)) {
            add("DATE-OBS", quoted(*when), "QTX clock, ISO 8601");
        }
    }
    if (held(&KelmHeader::exposure100)) {
        // The header block has milliseconds for short exposures; a file only hundredths.
        const double seconds = file ? r.exposure100 / 100.0 : r.exposuretime;
        add("EXPTIME", formatPattern(seconds, "0.000"), "[s] exposure time");
    }
    if (held(&KelmHeader::temperature)) {
        add("CCD-TEMP", formatPattern(r.temperature, "0.00"), "[C] CCD temperature");
    }
    // A pixel size, gain, focal length or aperture of 0 was never told (the console starts
    // with 0): no card. An exposure, temperature, pedestal or site of 0 is a value like any
    // other.
    const float xPixel = file ? file->xpixelsize.value_or(0.0F) : r.pixelsize;
    const float yPixel = file ? file->ypixelsize.value_or(0.0F) : r.pixelsize;
    if (xPixel > 0)
        add("XPIXSZ", formatPattern(micrometres(xPixel), "0.00"), "[um] pixel width, binned");
    if (yPixel > 0)
        add("YPIXSZ", formatPattern(micrometres(yPixel), "0.00"), "[um] pixel height, binned");
    // The binning code comes from the same flag bits as the pixel size: known when that is.
    const std::optional<std::int16_t> mode = file ? file->readoutmode : std::optional(r.binning);
    if (xPixel > 0 && mode && *mode >= 0 && *mode <= 2) {
        add("XBINNING", whole(*mode + 1), "binning factor across");
        add("YBINNING", whole(*mode + 1), "binning factor down");
    }
    const double gain = file ? file->egain.value_or(0.0F) : r.egain100 / 100.0;
    if (gain > 0) add("EGAIN", formatPattern(gain, "0.00"), "[e-/ADU] electrons per count");
    if (held(&KelmHeader::pedestal)) add("PEDESTAL", whole(r.pedestal), "[ADU] pedestal");
    if (held(&KelmHeader::numexposures) && r.numexposures >= 1) {
        add("SNAPSHOT", whole(r.numexposures), "number of exposures summed");
    }
    if (held(&KelmHeader::focallength) && r.focallength > 0) {
        add("FOCALLEN", formatPattern(millimetres(r.focallength, unitscm), "0.00"),
            "[mm] focal length");
    }
    if (held(&KelmHeader::aperturearea) && r.aperturearea > 0) {
        add("APTAREA", formatPattern(squareMillimetres(r.aperturearea, unitscm), "0.00"),
            "[mm^2] effective aperture area");
    }
    add("CBLACK", whole(r.background), "[ADU] display black level");
    add("CWHITE", whole(static_cast<std::int64_t>(r.background) + r.range),
        "[ADU] display white level");

    if (!file) {
        add("SITE", whole(r.sitenumber), "observing site number");
    } else if (file->observer) {
        // The console writes "Site" and the site number; any other text names the observer.
        const std::string_view text = trimmed(*file->observer);
        const std::optional<double> site =
            text.starts_with("Site") ? readWholeNumber(text.substr(4)) : std::nullopt;
        if (site && *site == std::floor(*site) && std::fabs(*site) <= 32767) {
            add("SITE", whole(static_cast<std::int64_t>(*site)), "observing site number");
        } else if (!text.empty()) {
            add("OBSERVER", quoted(text), "observer");
        }
    }
    const std::string filter = file ? file->filtername.value_or("") : r.filtername;
    if (!trimmed(filter).empty()) add("FILTER", quoted(trimmed(filter)), "filter");

    add("IMAGETYP", quoted("Light Frame"), "type of image");
    add("INSTRUME", quoted("QTX"), "camera");
    add("SWCREATE", quoted(software), "program that wrote this file");
    add("ROWORDER", quoted("BOTTOM-UP"), "the first row is the bottom of the picture");
    if (held(&KelmHeader::imagenote) && !trimmed(r.imagenote).empty()) {
        cards.push_back({"COMMENT", "", printable(r.imagenote)});
    }
    return cards;
}

std::vector<std::uint16_t> rowsBottomUp(const PixelArray& pixels, int width, int height) {
    std::vector<std::uint16_t> rows;
    rows.reserve(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int y = height; y >= 1; --y) {
        for (int x = 1; x <= width; ++x) rows.push_back(pixels.at(x, y));
    }
    return rows;
}

}  // namespace qtx

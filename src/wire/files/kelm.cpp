#include "files/kelm.hpp"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>

#include "link/le16.hpp"
#include "text/numtext.hpp"

namespace qtx {

namespace {

constexpr std::uint8_t kEscape = 0x80;
constexpr std::int32_t kLowestRunning = -32768;
constexpr std::int32_t kHighestRunning = 98303;

// Date, time, filter and history come from the QTX or from a file that anyone may have
// written; none of them is ever this long, and the cap keeps room for the note.
constexpr std::size_t kMaxShortText = 80;

// A text value may not break its line: CR and LF become blanks.
std::string oneLine(std::string_view text, std::size_t maxLength) {
    std::string out(text.substr(0, maxLength));
    std::replace(out.begin(), out.end(), '\r', ' ');
    std::replace(out.begin(), out.end(), '\n', ' ');
    return out;
}

constexpr char kLineEnd[] = "\n\r";

// A file is read as packed when any header line holds the mark; the packed form's first line
// is the one that says so.
constexpr std::string_view kPackedMark = "Compressed Image";
constexpr char kPackedFirstLine[] = "QTX Compressed Image";

// The values a user can change on a loaded image: Edit Data, contrast, flat field.
constexpr std::string_view kUserKeys[] = {
    "Focal_length =", "Aperture =", "Note =", "Background =", "Range =", "Height =", "Width ="};

// "Note =" of "Note = M31": what the reader matches a line by.
std::string_view lineKey(std::string_view line) { return line.substr(0, line.find('=') + 1); }

// The header lines, each with its line end, joined, then 0x1A and blanks to 2048 bytes. Too
// long a text loses the end of its note; nothing when it does not fit even then.
std::optional<std::vector<std::uint8_t>> headerBlock(std::vector<std::string> lines) {
    // The reader takes an LF right after a CR as part of that line's end: a line that starts
    // with an LF keeps it only behind one more.
    for (std::size_t i = 1; i < lines.size(); ++i) {
        if (lines[i].starts_with('\n') && lines[i - 1].ends_with('\r')) lines[i - 1] += '\n';
    }
    std::size_t size = 1;  // the 0x1A
    for (const std::string& line : lines) size += line.size();
    if (size > kKelmHeaderBytes) {
        const auto note = std::ranges::find_if(lines, [](const std::string& line) {
            return line.starts_with("Note = ") && line.ends_with(kLineEnd);
        });
        const std::size_t room = note == lines.end() ? 0 : note->size() - 7 - 2;
        if (size - kKelmHeaderBytes > room) return std::nullopt;
        note->erase(note->size() - 2 - (size - kKelmHeaderBytes), size - kKelmHeaderBytes);
    }
    std::string text;
    text.reserve(kKelmHeaderBytes);
    for (const std::string& line : lines) text += line;
    text += '\x1A';
    text.resize(kKelmHeaderBytes, ' ');
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

}  // namespace

std::vector<std::string> headerLines(const ImageRecord& r, bool unitscm) {
    const double focal = unitscm ? static_cast<double>(r.focallength) / 2.54 : r.focallength;
    const double area = unitscm ? static_cast<double>(r.aperturearea) / 6.4516 : r.aperturearea;
    const std::string pixel = formatPattern(r.pixelsize, "0.0000");
    return {
        kPackedFirstLine,
        "File_version = 3",
        "Data_version = 1",
        "Exposure = " + signedText(r.exposure100),
        "Focal_length = " + formatPattern(focal, "###0.00"),
        "Aperture = " + formatPattern(area, "###0.000"),
        "Response_factor = 2000.000",
        "Note = " + oneLine(r.imagenote, std::string::npos),
        "Background = " + signedText(r.background),
        "Range = " + signedText(r.range),
        "Height = " + signedText(r.imageheight),
        "Width = " + signedText(r.imagewidth),
        "Date = " + oneLine(r.imagedate, kMaxShortText),
        "Time = " + oneLine(r.imagetime, kMaxShortText),
        "Exposure_state = 356",
        "Temperature = " + formatPattern(r.temperature, "#0.00"),
        "Number_exposures = " + signedText(r.numexposures),
        "Each_exposure = " + signedText(r.exposure100),
        "History = " + oneLine(r.history, kMaxShortText),
        "Observer = Site" + signedText(r.sitenumber),
        "X_pixel_size = " + pixel,
        "Y_pixel_size = " + pixel,
        "Pedestal = " + signedText(r.pedestal),
        "E_gain = " + formatPattern(r.egain100 / 100.0, "#0.0"),
        "User_1 = QTX Server Ver 1.0",
        "User_2 = -",
        "User_3 = -",
        "User_4 = Y2KYear = " + signedText(r.imageyear),
        "Filter = " + oneLine(r.filtername, kMaxShortText),
        "Readout_mode = " + signedText(r.binning),
        "Track_time = 0",
        "Sat_level = 32767",
        "End",
    };
}

std::vector<std::uint8_t> composeHeader(const ImageRecord& r, bool unitscm) {
    std::vector<std::string> lines = headerLines(r, unitscm);
    for (std::string& line : lines) line += kLineEnd;
    return *headerBlock(std::move(lines));
}

std::vector<std::uint8_t> rewriteHeader(const KelmHeader& file,
                                        const std::vector<std::string>& asLoaded,
                                        const ImageRecord& r, bool unitscm) {
    const std::vector<std::string> now = headerLines(r, unitscm);
    std::vector<std::string> changed;  // lines of values the user has changed since the load
    for (std::size_t i = 0; i < now.size() && i < asLoaded.size(); ++i) {
        const std::string_view key = lineKey(now[i]);
        if (now[i] != asLoaded[i] && std::ranges::find(kUserKeys, key) != std::end(kUserKeys))
            changed.push_back(now[i]);
    }
    std::vector<std::string> lines;
    std::vector<bool> written(changed.size(), false);
    for (std::size_t n = 0; n < file.lines.size(); ++n) {
        const std::string& raw = file.lines[n];
        // As the reader sees the line: without its last character.
        const std::string_view line(raw.data(), raw.empty() ? 0 : raw.size() - 1);
        if (n == 0 && !file.compressed && line == "QTX Image") continue;
        if (n + 1 == file.lines.size()) {
            // Values the file had no line for go just before its End.
            for (std::size_t i = 0; i < changed.size(); ++i)
                if (!written[i]) lines.push_back(changed[i] + kLineEnd);
        }
        std::size_t i = 0;
        while (i < changed.size() && !line.starts_with(lineKey(changed[i]))) ++i;
        if (i < changed.size()) {
            lines.push_back(changed[i] + kLineEnd);
            written[i] = true;
        } else {
            lines.push_back(raw + '\r');
        }
    }
    // The rows are written packed, whatever form the file had: a first line says so unless a
    // line of the block still does (a note that said it may have been changed or shortened).
    const auto saysPacked = [](const std::vector<std::uint8_t>& bytes) {
        const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        return text.find(kPackedMark) != std::string_view::npos;
    };
    std::optional<std::vector<std::uint8_t>> block;
    if (file.compressed) block = headerBlock(lines);
    if (!block || !saysPacked(*block)) {
        lines.insert(lines.begin(), std::string(kPackedFirstLine) + kLineEnd);
        block = headerBlock(std::move(lines));
    }
    // A file's own lines may leave no room for a longer value: then the standard lines, which
    // always fit, since a file that cannot be read back is never written.
    return block ? *block : composeHeader(r, unitscm);
}

void packRow(std::span<const std::uint16_t> row, std::vector<std::uint8_t>& out) {
    const std::size_t countAt = out.size();
    out.resize(countAt + 2);
    const std::size_t plainBytes = 2 * row.size();
    if (!row.empty()) {
        appendLe16(out, row[0]);
        for (std::size_t c = 1; c < row.size() && out.size() - countAt - 2 < plainBytes; ++c) {
            const std::int32_t d = static_cast<std::int32_t>(row[c]) - row[c - 1];
            if (d >= -127 && d <= 127) {
                out.push_back(static_cast<std::uint8_t>(d & 0xFF));
            } else {
                out.push_back(kEscape);
                appendLe16(out, row[c]);
            }
        }
    }
    // A packed row that saves nothing is stored plain, so n = 2W always means plain.
    if (out.size() - countAt - 2 >= plainBytes) {
        out.resize(countAt + 2);
        for (std::uint16_t v : row) appendLe16(out, v);
    }
    putLe16(out, countAt, static_cast<std::uint16_t>(out.size() - countAt - 2));
}

bool unpackRow(std::span<const std::uint8_t> bytes, std::span<std::uint16_t> out) {
    if (out.empty()) return true;
    if (bytes.size() == 2 * out.size()) {
        for (std::size_t c = 0; c < out.size(); ++c) out[c] = le16(bytes, 2 * c);
        return true;
    }
    if (bytes.size() < 2) return false;
    std::int32_t v = le16(bytes, 0);
    out[0] = static_cast<std::uint16_t>(v);
    std::size_t k = 2;
    for (std::size_t c = 1; c < out.size(); ++c) {
        if (k >= bytes.size()) return false;
        const std::uint8_t b = bytes[k];
        if (b == kEscape) {
            if (k + 2 >= bytes.size()) return false;
            v = le16(bytes, k + 1);
            k += 3;
        } else {
            v += b > kEscape ? b - 256 : b;
            k += 1;
        }
        if (v < kLowestRunning || v > kHighestRunning) return false;
        out[c] = static_cast<std::uint16_t>(v & 0xFFFF);
    }
    return true;
}

std::optional<std::string_view> TextLines::next() {
    if (pos >= text.size()) return std::nullopt;
    const std::size_t cr = text.find('\r', pos);
    if (cr == std::string_view::npos) {
        const std::string_view line = text.substr(pos);
        pos = text.size();
        return line;
    }
    const std::string_view line = text.substr(pos, cr - pos);
    pos = cr + 1;
    if (pos < text.size() && text[pos] == '\n') ++pos;
    return line;
}

namespace {

template <typename Int>
std::optional<Int> wholeNumber(std::string_view value) {
    const std::optional<double> v = readWholeNumber(value);
    if (!v) return std::nullopt;
    const double rounded = roundHalfEven(*v);
    if (!(rounded >= std::numeric_limits<Int>::min() &&
          rounded <= std::numeric_limits<Int>::max())) {
        return std::nullopt;
    }
    return static_cast<Int>(rounded);
}

std::optional<float> singleNumber(std::string_view value) {
    const std::optional<double> v = readWholeNumber(value);
    if (!v || !(std::fabs(*v) <= FLT_MAX)) return std::nullopt;
    return static_cast<float>(*v);
}

// Applies one "key = value" line; false when its value cannot be converted.
bool applyLine(std::string_view line, KelmHeader& h) {
    const auto value = [line](std::string_view key) {
        return line.size() > key.size() + 1 ? line.substr(key.size() + 1) : std::string_view{};
    };
    const auto is = [line](std::string_view key) { return line.starts_with(key); };
    const auto set = [](auto& field, auto converted) {
        if (!converted) return false;
        field = *converted;
        return true;
    };
    if (is("Background ="))
        return set(h.background, wholeNumber<std::int32_t>(value("Background =")));
    if (is("Range =")) return set(h.range, wholeNumber<std::int32_t>(value("Range =")));
    if (is("Height =")) return set(h.imageheight, wholeNumber<std::int16_t>(value("Height =")));
    if (is("Width =")) return set(h.imagewidth, wholeNumber<std::int16_t>(value("Width =")));
    if (is("Date =")) return h.imagedate = std::string(value("Date =")), true;
    if (is("Time =")) return h.imagetime = std::string(value("Time =")), true;
    if (is("Note =")) return h.imagenote = std::string(value("Note =")), true;
    if (is("Exposure =")) return set(h.exposure100, wholeNumber<std::int32_t>(value("Exposure =")));
    if (is("Number_exposures =")) {
        return set(h.numexposures, wholeNumber<std::int16_t>(value("Number_exposures =")));
    }
    if (is("Pedestal =")) return set(h.pedestal, wholeNumber<std::int32_t>(value("Pedestal =")));
    if (is("Focal_length =")) return set(h.focallength, singleNumber(value("Focal_length =")));
    if (is("Aperture =")) return set(h.aperturearea, singleNumber(value("Aperture =")));
    if (is("Temperature =")) return set(h.temperature, singleNumber(value("Temperature =")));
    // Not applied to the record, but a file whose values here are not numbers is refused.
    if (is("E_gain =")) return set(h.egain, singleNumber(value("E_gain =")));
    if (is("X_pixel_size =")) return set(h.xpixelsize, singleNumber(value("X_pixel_size =")));
    if (is("Y_pixel_size =")) {
        const std::optional<double> v = readWholeNumber(value("Y_pixel_size ="));
        const double thousandfold = v ? roundHalfEven(*v * 1000.0) : NAN;
        if (!(thousandfold >= -32768 && thousandfold <= 32767)) return false;
        h.ypixelsize = static_cast<float>(*v);
        return true;
    }
    if (is("Filter =")) return h.filtername = std::string(value("Filter =")), true;
    if (is("Observer =")) return h.observer = std::string(value("Observer =")), true;
    // Never a reason to refuse a file: a mode that is no number is only not kept.
    if (is("Readout_mode =")) {
        if (const auto mode = wholeNumber<std::int16_t>(value("Readout_mode =")))
            h.readoutmode = *mode;
    }
    return true;
}

}  // namespace

KelmHeader parseHeader(std::span<const std::uint8_t> file) {
    KelmHeader h;
    TextLines lines(std::string_view(reinterpret_cast<const char*>(file.data()), file.size()));
    int number = 0;
    while (const std::optional<std::string_view> raw = lines.next()) {
        ++number;
        h.lines.emplace_back(*raw);
        if (raw->find(kPackedMark) != std::string_view::npos) h.compressed = true;
        // The last character of a line is the LF of its LF CR end.
        if (raw->size() < 4) continue;
        const std::string_view line = raw->substr(0, raw->size() - 1);
        h.info += line;
        h.info += "\r\n";
        if (!applyLine(line, h)) {
            h.failure = "line " + std::to_string(number) + " has a value that cannot be read: \"" +
                        std::string(line.substr(0, 60)) + "\"";
            return h;
        }
        if (line.starts_with("End")) return h;
    }
    h.failure = "the header has no End line";
    return h;
}

std::string readPixelBlock(std::span<const std::uint8_t> file, bool compressed,
                           PixelArray& pixels) {
    if (file.size() < kKelmHeaderBytes) return "the file ends inside its header";
    std::span<const std::uint8_t> block = file.subspan(kKelmHeaderBytes);
    const auto width = static_cast<std::size_t>(pixels.width);
    for (int r = 1; r <= pixels.height; ++r) {
        const std::span<std::uint16_t> row(&pixels.at(1, r), width);
        if (!compressed) {
            if (block.size() < 2 * width) return "the file ends in row " + std::to_string(r);
            unpackRow(block.first(2 * width), row);
            block = block.subspan(2 * width);
            continue;
        }
        if (block.size() < 2) return "the file ends before row " + std::to_string(r);
        const auto n = static_cast<std::int16_t>(le16(block, 0));
        if (n < 1) return "row " + std::to_string(r) + " has a byte count below 1";
        if (block.size() - 2 < static_cast<std::size_t>(n)) {
            return "the file ends in row " + std::to_string(r);
        }
        if (!unpackRow(block.subspan(2, static_cast<std::size_t>(n)), row)) {
            return "row " + std::to_string(r) + " is damaged";
        }
        block = block.subspan(2 + static_cast<std::size_t>(n));
    }
    return {};
}

}  // namespace qtx

// `qtx stars`: "Load QTX Frame from Disk" for each file, then the stars of its image, the
// brightest first, and their summary; arcseconds from the pixel size and focal length in the
// file's header, when it has both.
#include "analysis/stars.hpp"

#include <cstdio>

#include "commands.hpp"
#include "file_run.hpp"
#include "files/disk.hpp"
#include "files/kelm.hpp"
#include "text/numtext.hpp"

namespace qtx::cli {

namespace {

std::string fixed(double value, int places) {
    return formatPattern(value, places == 0 ? "0" : "0." + std::string(places, '0'));
}

std::string fixed(const std::optional<double>& value, int places) {
    return value ? fixed(*value, places) : std::string();
}

// Right-aligned in `width` characters.
std::string column(const std::string& text, std::size_t width) {
    return std::string(text.size() < width ? width - text.size() : 0, ' ') + text;
}

// Why a star has no widths: saturated, at an edge, or beside a brighter one.
std::string marks(const Star& s) {
    std::string m;
    if (s.saturated) m += " saturated";
    if (s.clipped) m += " edge";
    if (s.blended) m += " blended";
    return m;
}

// A path with a comma or quote in it is quoted, so the CSV keeps its columns.
std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

void printTable(const std::string& path, const StarField& field) {
    std::string out = path + "\n";
    if (!field.stars.empty()) {
        out +=
            "       x       y   peak  background       flux  fwhm_px  hfr_px      snr"
            "  fwhm_arcsec\n";
    }
    for (const Star& s : field.stars) {
        out += column(fixed(s.x, 2), 8) + column(fixed(s.y, 2), 8) +
               column(std::to_string(s.peak), 7) + column(fixed(s.background, 1), 12) +
               column(fixed(s.flux, 0), 11) + column(fixed(s.fwhm, 2), 9) +
               column(fixed(s.hfr, 2), 8) + column(fixed(s.snr, 1), 9) +
               column(fixed(s.fwhmArcsec, 2), 13) + marks(s) + "\n";
    }
    const StarSummary& sum = field.summary;
    out += std::to_string(sum.count) + (sum.count == 1 ? " star" : " stars");
    if (sum.medianFwhm) {
        out += ", median FWHM " + fixed(sum.medianFwhm, 2) + " px";
        if (sum.medianFwhmArcsec) out += " (" + fixed(sum.medianFwhmArcsec, 2) + "\")";
    }
    if (sum.medianHfr) {
        out += ", HFR " + fixed(sum.medianHfr, 2) + " px";
        if (sum.medianHfrArcsec) out += " (" + fixed(sum.medianHfrArcsec, 2) + "\")";
    }
    std::fputs((out + "\n").c_str(), stdout);
}

void printCsv(const std::string& path, const StarField& field) {
    std::string out;
    for (const Star& s : field.stars) {
        out += csvField(path) + "," + fixed(s.x, 3) + "," + fixed(s.y, 3) + "," +
               std::to_string(s.peak) + "," + fixed(s.background, 2) + "," + fixed(s.flux, 1) +
               "," + fixed(s.fwhm, 3) + "," + fixed(s.hfr, 3) + "," + fixed(s.snr, 1) + "," +
               fixed(s.fwhmArcsec, 3) + "\n";
    }
    std::fputs(out.c_str(), stdout);
}

}  // namespace

std::optional<double> fileArcsecPerPixel(const std::string& path) {
    const ReadResult start = readFileStart(path, kKelmHeaderBytes);
    if (!start.failure.empty()) return std::nullopt;
    const KelmHeader header = parseHeader(start.bytes);
    if (!header.xpixelsize || !header.focallength) return std::nullopt;
    // The file holds the focal length in inches whatever unit the console shows.
    return imageArcsecPerPixel(*header.xpixelsize, *header.focallength, false);
}

int runStars(const StarsArgs& args) {
    int status = kExitOk;
    if (args.csv) {
        std::fputs("file,x,y,peak,background,flux,fwhm_px,hfr_px,snr,fwhm_arcsec\n", stdout);
    }
    for (const std::string& path : args.files) {
        FileRun run;  // a console of its own for each file
        if (!run.load(path, false)) {
            FileRun::summary(path + ": no image read");
            status = kExitFailed;
            continue;
        }
        const ImageRecord& record = run.record();
        StarOptions options;
        options.arcsecPerPixel = fileArcsecPerPixel(path);
        const StarField field =
            findStars(pixelView(record.imagedata, record.imagewidth, record.imageheight), options);
        if (args.csv) {
            printCsv(path, field);
        } else {
            printTable(path, field);
        }
        std::fflush(stdout);
    }
    return status;
}

}  // namespace qtx::cli

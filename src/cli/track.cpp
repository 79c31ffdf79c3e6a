// `qtx track`: "Load QTX Frame from Disk" for a summed image with its track list, then the
// offset of each exposure and their scatter.
#include <cstdio>

#include "analysis/track_offsets.hpp"
#include "commands.hpp"
#include "file_run.hpp"
#include "files/disk.hpp"
#include "files/tracklist.hpp"
#include "text/numtext.hpp"

namespace qtx::cli {

namespace {

// Track lists are a few kilobytes; the console reads no more either.
constexpr std::size_t kMaxTrackBytes = 64 * 1024;

std::string rmsText(double pixels, const std::optional<double>& arcsec) {
    std::string text = formatPattern(pixels, "0.00") + " px";
    if (arcsec) text += " (" + formatPattern(*arcsec, "0.00") + "\")";
    return text;
}

std::string column(const std::string& text, std::size_t width) {
    return std::string(text.size() < width ? width - text.size() : 0, ' ') + text;
}

}  // namespace

int runTrack(const TrackArgs& args) {
    FileRun run;
    // The load itself says when the list is missing or does not match the image.
    if (!run.load(args.file, true)) {
        FileRun::summary(args.file + ": no track offsets");
        return kExitFailed;
    }
    if (run.record().numexposures < 2) {
        FileRun::summary(args.file + ": one exposure, not a summed image: no track offsets");
        return kExitFailed;
    }
    const std::string listPath = basePath(args.file, ".trk");
    const ReadResult file = readFileStart(listPath, kMaxTrackBytes);
    const TrackListRead read = parseTrackList(
        std::string_view(reinterpret_cast<const char*>(file.bytes.data()), file.bytes.size()));
    TrackOffsets track;
    for (std::size_t k = 0; k < read.pairs.size(); ++k) {
        track.trackx[k + 1] = read.pairs[k].x;
        track.tracky[k + 1] = read.pairs[k].y;
    }
    track.trackcount = static_cast<std::int16_t>(read.pairs.size());
    if (!file.failure.empty() || !read.ok || read.pairs.empty()) {
        FileRun::summary(listPath + ": no track offsets");
        return kExitFailed;
    }
    const TrackScatter scatter = trackScatter(track, fileArcsecPerPixel(args.file));
    std::string out = args.file + "\nexposure     x     y\n";
    for (const ExposureOffset& e : scatter.exposures) {
        out += column(std::to_string(e.number), 8) + column(std::to_string(e.x), 6) +
               column(std::to_string(e.y), 6) + "\n";
    }
    out += "RMS x " + rmsText(scatter.rmsX, scatter.rmsXArcsec) + ", y " +
           rmsText(scatter.rmsY, scatter.rmsYArcsec) + ", both " +
           rmsText(scatter.rms, scatter.rmsArcsec) + "\n";
    std::fputs(out.c_str(), stdout);
    std::fflush(stdout);
    return kExitOk;
}

}  // namespace qtx::cli

// `qtx convert`: "Load QTX Frame from Disk", then the export that OUT's extension names: the
// picture at the file's own display levels as a bitmap ("Save as Bitmap"), the pixels and
// facts as a FITS file ("Export Image as FITS..."), or the image alone, without the border
// of the picture, as a PNG. Several files at once with --to: each output beside its source or
// in --out DIR.
#include <algorithm>
#include <cctype>
#include <filesystem>

#include "commands.hpp"
#include "file_run.hpp"
#include "text/numtext.hpp"

namespace qtx::cli {

namespace {

struct Target {
    std::string_view extension;
    void (Console::*exporter)();
    std::string_view noun;
};

constexpr Target kTargets[] = {
    {".bmp", &Console::mnubitmap_Click, "bitmap"},
    {".fits", &Console::mnufits_Click, "FITS file"},
    {".png", &Console::exportPng, "PNG image"},
};

// By the extension of the path's last part, whatever its case; null when none fits.
const Target* targetOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return nullptr;
    std::string extension = path.substr(dot);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const Target& t : kTargets) {
        if (t.extension == extension) return &t;
    }
    return nullptr;
}

// The console's export with `out` answered in its dialog: whether it wrote its file.
bool exported(FileRun& run, void (Console::*menu)(), const std::string& out) {
    return run.step(menu, out).has<FileWritten>();
}

}  // namespace

std::string convertTargetProblem(const std::string& out) {
    if (!targetOf(out)) {
        return "convert writes a .bmp bitmap, a .fits file or a .png image: OUT ends in "
               "\".bmp\", \".fits\" or \".png\", not '" +
               out + "'";
    }
    return {};
}

std::string convertKindProblem(const std::string& kind) {
    if (!targetOf("." + kind)) return "one of bmp, fits and png, not '" + kind + "'";
    return {};
}

std::string convertedPath(const std::string& source, const std::string& outDir,
                          std::string_view extension) {
    if (outDir.empty()) return basePath(source, extension);
    const std::size_t slash = source.find_last_of("/\\");
    const std::string name = slash == std::string::npos ? source : source.substr(slash + 1);
    const bool ends = outDir.back() == '/';
    return basePath(outDir + (ends ? "" : "/") + name, extension);
}

namespace {

// One file into `out` (whose extension chooses the kind); whether it was written. Each file
// on a console of its own, so nothing of one image carries over into the next.
bool convertOne(const std::string& file, const std::string& out) {
    const Target& target = *targetOf(out);
    FileRun run;
    if (run.load(file, false)) {
        const std::string path = basePath(out, target.extension);
        if (exported(run, target.exporter, out)) {
            FileRun::summary(path + " written");
            return true;
        }
    }
    return false;
}

}  // namespace

int runConvert(const ConvertArgs& args) {
    if (args.to.empty()) {
        // The form of one file: FILE OUT.
        if (convertOne(args.files[0], args.files[1])) return kExitOk;
        FileRun::summary("no " + std::string(targetOf(args.files[1])->noun) + " written");
        return kExitFailed;
    }
    std::vector<std::string> failed;
    for (const std::string& file : args.files) {
        if (!convertOne(file, convertedPath(file, args.outDir, "." + args.to))) {
            failed.push_back(file);
        }
    }
    if (failed.empty()) {
        if (args.files.size() > 1) {
            FileRun::summary("all " + std::to_string(args.files.size()) + " files converted");
        }
        return kExitOk;
    }
    for (const std::string& file : failed) FileRun::summary(file + " not converted");
    FileRun::summary(std::to_string(failed.size()) + " of " + std::to_string(args.files.size()) +
                     (args.files.size() == 1 ? " file" : " files") + " not converted");
    return kExitFailed;
}

}  // namespace qtx::cli

// The subcommands of qtx, each run through the console's own procedures with what its options
// and operands hold (checked by command_line.cpp).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "command_line.hpp"
#include "linked_run.hpp"

namespace qtx::cli {

struct DownloadArgs {
    LinkOptions link;
    bool all = false;
    std::string path;
};
int runDownload(const DownloadArgs& args);  // download.cpp

struct InfoArgs {
    std::vector<std::string> files;
};
int runInfo(const InfoArgs& args);  // info.cpp

struct UploadArgs {
    LinkOptions link;
    std::string file;
};
int runUpload(const UploadArgs& args);  // upload.cpp

struct ConvertArgs {
    // Without `to`: FILE and OUT. With it: the files, each converted beside itself or in
    // `outDir`.
    std::vector<std::string> files;
    std::string to;  // "bmp", "fits" or "png"; "" for the form FILE OUT
    std::string outDir;
};
// What is wrong with OUT's extension, or with the kind given to --to, in words; "" when
// convert writes that kind.
std::string convertTargetProblem(const std::string& out);
std::string convertKindProblem(const std::string& kind);
// Where a file converted to `extension` goes: beside `source`, or in `outDir` when given.
std::string convertedPath(const std::string& source, const std::string& outDir,
                          std::string_view extension);
int runConvert(const ConvertArgs& args);  // convert.cpp

struct FlatArgs {
    std::string image;
    std::string flat;
    std::string out;
};
int runFlat(const FlatArgs& args);  // flat.cpp

struct StarsArgs {
    bool csv = false;
    std::vector<std::string> files;
};
int runStars(const StarsArgs& args);  // stars.cpp
// Arcseconds a pixel from the pixel size and focal length in a .QTX file's header; nothing
// when it lacks either.
std::optional<double> fileArcsecPerPixel(const std::string& path);

struct TrackArgs {
    std::string file;
};
int runTrack(const TrackArgs& args);  // track.cpp

struct PortsArgs {};
int runPorts(const PortsArgs& args);  // ports.cpp

}  // namespace qtx::cli

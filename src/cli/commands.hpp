// The subcommands of qtx, each run through the console's own procedures with what its options
// and operands hold (checked by command_line.cpp).
#pragma once

#include <string>
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
    std::string file;
    std::string out;
};
// What is wrong with OUT's extension, in words; "" when convert writes that kind.
std::string convertTargetProblem(const std::string& out);
int runConvert(const ConvertArgs& args);  // convert.cpp

struct FlatArgs {
    std::string image;
    std::string flat;
    std::string out;
};
int runFlat(const FlatArgs& args);  // flat.cpp

struct PortsArgs {};
int runPorts(const PortsArgs& args);  // ports.cpp

}  // namespace qtx::cli

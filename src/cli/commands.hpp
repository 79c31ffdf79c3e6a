// The subcommands of qtx, each run through the console's own procedures.
#pragma once

#include "command_line.hpp"

namespace qtx::cli {

std::string checkDownload(const Invocation& call);
int runDownload(const Invocation& call);  // download.cpp
int runInfo(const Invocation& call);      // info.cpp
std::string checkUpload(const Invocation& call);
int runUpload(const Invocation& call);  // upload.cpp
std::string checkConvert(const Invocation& call);
int runConvert(const Invocation& call);  // convert.cpp
std::string checkFlat(const Invocation& call);
int runFlat(const Invocation& call);   // flat.cpp
int runPorts(const Invocation& call);  // ports.cpp

}  // namespace qtx::cli

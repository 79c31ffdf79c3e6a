// The subcommands of qtx, each run through the console's own procedures.
#pragma once

#include "command_line.hpp"

namespace qtx::cli {

std::string checkDownload(const Invocation& call);
int runDownload(const Invocation& call);  // download.cpp
int runInfo(const Invocation& call);      // info.cpp

}  // namespace qtx::cli

// The command line of qtx: its subcommands, each with its options and operands (CLI11, with
// the layout and rules of src/options), and the dispatch.
//
// To add a subcommand (stars, track, ...):
//   1. in commands.hpp, a struct of what it is given (StarsArgs) and `int runStars(const
//      StarsArgs&)`, written in a file of its own (stars.cpp) that drives the console's own
//      procedures, as download.cpp and info.cpp do, and returns kExitOk or kExitFailed;
//   2. in command_line.cpp, a block that adds it with commands.add(...) and binds its
//      options and operands to the struct's fields (linkOptions() gives --port, --baud,
//      --timeout and --log; rule() a check of a value).
// The help, the usage errors and the exit status 2 then come from CLI11.
#pragma once

namespace qtx::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// The whole program: parses, answers help and version, runs a command; the exit status.
int runCommandLine(int argc, char* argv[]);

}  // namespace qtx::cli

// The command line of qtx: its subcommands, their options and help, and the dispatch.
//
// A subcommand is one entry of the table in command_line.cpp and one function that runs it.
// To add one (upload, convert, flat, ...):
//   1. write `int runUpload(const Invocation& call)` in a file of its own (upload.cpp) and
//      declare it in commands.hpp; it returns the exit status (kExitOk or kExitFailed) and
//      drives the console's own procedures through a CliHost, as download.cpp and info.cpp do;
//   2. list its options in an OptionSpec array and add a CommandSpec to kCommands, with a
//      check function when option values need more than the table says.
// Parsing, the help texts, usage errors and the exit status 2 then come from the table.
#pragma once

#include <map>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qtx::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

struct OptionSpec {
    std::string_view name;   // without the leading "--"
    std::string_view value;  // the name of its value ("DEV"); empty for a switch
    std::string_view help;
};

// What a command was given: option values, switches and operands.
struct Invocation {
    std::map<std::string, std::string, std::less<>> values;
    std::set<std::string, std::less<>> switches;
    std::vector<std::string> operands;

    bool has(std::string_view name) const {
        return values.find(name) != values.end() || switches.find(name) != switches.end();
    }
    std::string value(std::string_view name) const {
        const auto it = values.find(name);
        return it == values.end() ? std::string{} : it->second;
    }
};

struct CommandSpec {
    std::string_view name;
    std::string_view synopsis;  // what follows "qtx NAME" in the usage line
    std::string_view summary;   // one line for the list of commands
    std::string_view
        details;  // what its help says after the options: paragraphs, each ended by "\n"
    std::span<const OptionSpec> options;
    int minOperands = 0;
    int maxOperands = 0;  // -1: any number
    // Checks of option values beyond the table; the problem in words, "" when none.
    std::string (*check)(const Invocation& call) = nullptr;
    int (*run)(const Invocation& call) = nullptr;
};

std::span<const CommandSpec> commands();

struct Parsed {
    enum class Kind { Run, Help, Version, UsageError };
    Kind kind = Kind::UsageError;
    const CommandSpec* command = nullptr;  // Run; Help of one command (null: the overview)
    Invocation call;
    std::string error;  // UsageError: the problem, without the usage text
};

// args without the program's name.
Parsed parse(std::span<const std::string> args);

std::string overviewHelp();
std::string commandHelp(const CommandSpec& command);
// The problem, the usage line of the command (or of qtx) and where to find more.
std::string usageError(const Parsed& parsed);
std::string versionText();

// The whole program: parses, answers help and version, runs a command; the exit status.
int runCommandLine(int argc, char* argv[]);

}  // namespace qtx::cli

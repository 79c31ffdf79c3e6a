// What the command lines of qtx and qtx-sim share on top of CLI11: one layout of the help,
// one form of usage errors and one set of exit statuses.
//
//   help and version   on standard output, exit status 0
//   a usage error      "PROGRAM: PROBLEM", the usage line and "Try 'PROGRAM --help'." on
//                      standard error, exit status 2
//
// An option is given once at most, a switch takes no "=VALUE", "--" ends the options, and
// -h or --help anywhere before "--" asks for help whatever else is given.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qtx::options {

inline constexpr int kExitUsage = 2;

// Sets the help layout (options in a column `column` wide, text wrapped at 80) and the rules
// above. Call before adding options.
void prepare(CLI::App& app, std::size_t column);

// A check of an option's value: the problem in words ("" when none), shown after the option's
// name ("--baud: one of ...").
CLI::Validator rule(std::function<std::string(const std::string&)> problem);

// An option with a value, which `take` reads into its place; take returns the problem with the
// value in words ("" when none), shown as rule()'s are.
CLI::Option* valueOption(CLI::App& app, const std::string& name, const std::string& valueName,
                         const std::string& help,
                         std::function<std::string(const std::string&)> take);

// A switch, given once at most unless the program's option defaults allow more (CLI11 lets
// a switch repeat by default).
CLI::Option* flagOption(CLI::App& app, const std::string& name, bool& into,
                        const std::string& help);

// `text` in lines of at most 80 characters; "\n" starts a new paragraph after a blank line.
std::string paragraphs(std::string_view text);

// Parses `args` (without the program's name). nullopt: go on with what the options hold;
// otherwise help, version or the usage error has been written and this is the exit status.
// An app with subcommands needs one as the first argument (or its help or version).
std::optional<int> parse(CLI::App& app, std::vector<std::string> args);

}  // namespace qtx::options

#include "command_options.hpp"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <sstream>

namespace qtx::options {

namespace {

constexpr std::size_t kWidth = 80;

// Words of `text` in lines of at most `width` characters; the lines after the first start
// after `indent` blanks, which the caller (or CLI11's layout) puts before them.
std::string wrapped(std::string_view text, std::size_t indent, std::size_t width,
                    std::string_view lineBreak) {
    std::string out;
    std::size_t column = indent;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find(' ', at), text.size());
        const std::string_view word = text.substr(at, end - at);
        if (column > indent && column + 1 + word.size() > width) {
            out += lineBreak;
            column = indent;
        } else if (column > indent) {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
        at = end + 1;
    }
    return out;
}

// CLI11's layout with every description wrapped, and an option's value named by its
// option_text alone ("--port DEV"; CLI11 would add its type and "REQUIRED").
class Layout : public CLI::Formatter {
  public:
    std::string make_option_opts(const CLI::Option* opt) const override {
        return opt->get_option_text().empty() || opt->get_positional()
                   ? std::string{}
                   : " " + opt->get_option_text();
    }
    std::string make_option_desc(const CLI::Option* opt) const override {
        return wrapped(opt->get_description(), get_column_width(), kWidth, "\n");
    }
    // One blank line between groups of options (CLI11 2.1 puts two).
    std::string make_help(const CLI::App* app, std::string name,
                          CLI::AppFormatMode mode) const override {
        std::string text = CLI::Formatter::make_help(app, std::move(name), mode);
        for (std::size_t at; (at = text.find("\n\n\n")) != std::string::npos;) text.erase(at, 1);
        return text;
    }
    // A subcommand's summary becomes a sentence at the top of its help.
    std::string make_description(const CLI::App* app) const override {
        std::string text = app->get_description();
        if (app->get_parent() && !text.empty()) {
            text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
            text += ".";
        }
        return text.empty() ? text : paragraphs(text) + "\n\n";
    }
    std::string make_subcommand(const CLI::App* sub) const override {
        std::stringstream out;
        CLI::detail::format_help(out, sub->get_name(),
                                 wrapped(sub->get_description(), get_column_width(), kWidth, "\n"),
                                 get_column_width());
        return out.str();
    }
};

bool isHelp(std::string_view arg) { return arg == "-h" || arg == "--help"; }

// `app` is the program or one of its subcommands.
int usageError(const CLI::App& app, const std::string& problem) {
    const std::string program = app.get_parent() ? app.get_parent()->get_name() : app.get_name();
    const std::string name = app.get_parent() ? program + " " + app.get_name() : program;
    std::fprintf(stderr, "%s: %s\n%sTry '%s --help'.\n", program.c_str(), problem.c_str(),
                 Layout{}.make_usage(&app, name).c_str(), name.c_str());
    return kExitUsage;
}

}  // namespace

void prepare(CLI::App& app, std::size_t column) {
    auto layout = std::make_shared<Layout>();
    layout->column_width(column);
    layout->label("SUBCOMMAND", "COMMAND");
    layout->label("Positionals", "Operands");
    app.formatter(layout);
    app.set_help_flag("-h,--help", "this text");
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::Throw);
    app.option_defaults()->disable_flag_override();
}

CLI::Validator rule(std::function<std::string(const std::string&)> problem) {
    return CLI::Validator(
        [problem = std::move(problem)](std::string& value) { return problem(value); }, "");
}

CLI::Option* valueOption(CLI::App& app, const std::string& name, const std::string& valueName,
                         const std::string& help,
                         std::function<std::string(const std::string&)> take) {
    // The type name is the value's name in CLI11's own messages: "--port: 1 required DEV
    // missing".
    return app
        .add_option_function<std::string>(
            name,
            [name, take = std::move(take)](const std::string& value) {
                if (std::string problem = take(value); !problem.empty()) {
                    throw CLI::ValidationError(name, problem);
                }
            },
            help)
        ->option_text(valueName)
        ->type_name(valueName);
}

CLI::Option* flagOption(CLI::App& app, const std::string& name, bool& into,
                        const std::string& help) {
    return app.add_flag(name, into, help)
        ->multi_option_policy(app.option_defaults()->get_multi_option_policy());
}

std::string paragraphs(std::string_view text) {
    std::string out;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        if (!out.empty()) out += "\n\n";
        out += wrapped(text.substr(0, end), 0, kWidth, "\n");
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return out;
}

std::optional<int> parse(CLI::App& app, std::vector<std::string> args) {
    CLI::App* command = &app;
    if (!app.get_subcommands({}).empty()) {
        if (args.empty()) return usageError(app, "no command given");
        const std::string& first = args.front();
        const auto named =
            app.get_subcommands([&](CLI::App* sub) { return sub->check_name(first); });
        if (!named.empty()) {
            command = named.front();
        } else if (!first.starts_with("-")) {
            return usageError(app, "unknown command '" + first + "'");
        } else if (!app.get_option_no_throw(first)) {
            return usageError(app, "unknown option '" + first + "'");
        }
    }
    // Help wins over everything else given with it, as far as the options go: CLI11 would
    // first check the values of the options.
    const auto end = std::find(args.begin(), args.end(), "--");
    if (std::any_of(args.begin(), end, isHelp)) {
        std::fputs(command->help(command == &app ? "" : app.get_name()).c_str(), stdout);
        return 0;
    }
    try {
        std::reverse(args.begin(), args.end());  // CLI11 takes them from the back
        app.parse(args);
    } catch (const CLI::CallForVersion& version) {
        std::printf("%s\n", version.what());
        return 0;
    } catch (const CLI::ParseError& error) {
        return usageError(*command, error.what());
    }
    return std::nullopt;
}

}  // namespace qtx::options

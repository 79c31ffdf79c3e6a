#include "command_line.hpp"

#include <QCoreApplication>
#include <algorithm>
#include <cctype>
#include <cstdio>

#include "commands.hpp"

#ifndef QTX_VERSION
#define QTX_VERSION "0"
#endif

namespace qtx::cli {

namespace {

using namespace std::string_view_literals;

constexpr OptionSpec kPort{
    "port", "DEV",
    "serial device of the QTX: /dev/ttyUSB0 for a USB adapter, or the path that qtx-sim "
    "prints (required)"};
constexpr OptionSpec kBaud{
    "baud", "N",
    "line speed 19200, 38400, 57600 or 115200 (default 115200); set the QTX to the same"};
constexpr OptionSpec kTimeout{"timeout", "S",
                              "give up when the QTX has not answered for S seconds (default 30)"};
constexpr OptionSpec kLog{
    "log", "FILE",
    "write every frame to and from the QTX to FILE, a new file: time, direction, code name "
    "and bytes in hex"};

constexpr OptionSpec kDownloadOptions[] = {
    kPort,
    kBaud,
    {"all", "",
     "fetch every stored image (Download All) as PATH001.QTX, PATH002.QTX, ..., each summed "
     "image with its .trk and each mosaic with its .txt file"},
    kTimeout,
    kLog,
};
constexpr OptionSpec kUploadOptions[] = {kPort, kBaud, kTimeout, kLog};

// clang-format off
const CommandSpec kCommands[] = {
    {.name = "download",
     .synopsis = "--port DEV [--baud N] [--all] [--timeout S] PATH",
     .summary = "fetch the QTX's screen image, or every stored image, into .QTX files",
     .details =
         "Without --all the image on the QTX's screen is fetched and saved as PATH. Either way "
         "PATH's file name is cut before its first \".\" (folders keep theirs) and \".QTX\", "
         "or the number and \".QTX\", are added. Existing files are never overwritten. The "
         "console's messages and the progress go to standard error. The QTX is switched out "
         "of remote operation at the end, also on Ctrl+C.\n"
         "Exit status: 0 when every image was written, 1 when one was not (or none came), 2 "
         "for a mistake on the command line.\n",
     .options = kDownloadOptions,
     .minOperands = 1,
     .maxOperands = 1,
     .check = checkDownload,
     .run = runDownload},
    {.name = "info",
     .synopsis = "FILE.QTX...",
     .summary = "print the header lines of saved .QTX image files",
     .details =
         "For each file, its path and the header lines that the console's Image Information "
         "panel shows, on standard output. A file that cannot be read is named on standard "
         "error with the console's reason, and the other files are still read.\n"
         "Exit status: 0 when every file was read, 1 when one was not, 2 for a mistake on the "
         "command line.\n",
     .options = {},
     .minOperands = 1,
     .maxOperands = -1,
     .check = nullptr,
     .run = runInfo},
    {.name = "upload",
     .synopsis = "--port DEV [--baud N] [--timeout S] FILE.bin",
     .summary = "load new program code into the QTX from a .bin file",
     .details =
         "The console checks FILE's name, length and CRC first; a file it refuses is not sent. "
         "The code goes in 192 pages, each resent until the QTX has acknowledged it; the "
         "progress goes to standard error. After the QTX has taken the code it restarts and "
         "is put back under remote operation, then switched out of it at the end.\n"
         "Exit status: 0 when the QTX took the code, 1 when the file was refused or the "
         "upload failed, 2 for a mistake on the command line.\n",
     .options = kUploadOptions,
     .minOperands = 1,
     .maxOperands = 1,
     .check = checkUpload,
     .run = runUpload},
    {.name = "convert",
     .synopsis = "FILE.QTX OUT.bmp|OUT.fits|OUT.png",
     .summary = "export a saved .QTX image as a bitmap, a FITS file or a PNG image",
     .details =
         "OUT's extension, in any case, chooses what is written. .bmp: the picture the console "
         "shows after loading FILE, at the Background and Range saved in it, as an 8-bit grey "
         "bitmap of 320 x 200. .fits: the 16-bit pixels with the facts of FILE's header "
         "(Export Image as FITS...). .png: the image alone at the same levels, 8-bit grey, its "
         "own width and height. OUT's file name is cut before its first \".\" and the "
         "extension is added in lower case; an existing file is never overwritten.\n"
         "Exit status: 0 when the file was written, 1 when FILE could not be read or OUT not "
         "written, 2 for a mistake on the command line.\n",
     .options = {},
     .minOperands = 2,
     .maxOperands = 2,
     .check = checkConvert,
     .run = runConvert},
    {.name = "flat",
     .synopsis = "IMAGE.QTX FLAT.QTX OUT.QTX",
     .summary = "correct a saved image by a flat frame into a new .QTX file",
     .details =
         "IMAGE is loaded with its track list (a summed image needs it: the flat is shifted "
         "by the offsets of each exposure), divided by FLAT, which must have the same size, "
         "and saved as OUT. OUT's file name is cut before its first \".\" and \".QTX\" is "
         "added; existing files are never overwritten.\n"
         "Exit status: 0 when the corrected image was written, 1 when a file could not be "
         "read, the correction was refused or OUT not written, 2 for a mistake on the command "
         "line.\n",
     .options = {},
     .minOperands = 3,
     .maxOperands = 3,
     .check = checkFlat,
     .run = runFlat},
    {.name = "ports",
     .synopsis = "",
     .summary = "list the serial ports with their stable names and what may hinder them",
     .details =
         "One block a port: its device, its stable names under /dev/serial/by-id (these stay "
         "the same when adapters are plugged in another order), description, manufacturer, "
         "serial number and driver, then lines starting with \"!\" for what the machine tells "
         "about it: a group this user is not in, a program holding it, ModemManager or brltty, "
         "an FTDI latency timer above 1 ms. Give the device or its stable name as --port.\n"
         "Exit status: 0, also when there is no port; 2 for a mistake on the command line.\n",
     .options = {},
     .minOperands = 0,
     .maxOperands = 0,
     .check = nullptr,
     .run = runPorts},
};
// clang-format on

const CommandSpec* findCommand(std::string_view name) {
    for (const CommandSpec& c : kCommands) {
        if (c.name == name) return &c;
    }
    return nullptr;
}

const OptionSpec* findOption(const CommandSpec& command, std::string_view name) {
    for (const OptionSpec& o : command.options) {
        if (o.name == name) return &o;
    }
    return nullptr;
}

constexpr std::size_t kHelpWidth = 80;

// Words of `text` in lines of at most `width` characters, the lines after the first indented
// by `indent` (the first one starts there already).
std::string wrapped(std::string_view text, std::size_t indent, std::size_t width) {
    std::string out;
    std::size_t column = indent;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = std::min(text.find(' ', at), text.size());
        const std::string_view word = text.substr(at, end - at);
        if (column > indent && column + 1 + word.size() > width) {
            out += "\n" + std::string(indent, ' ');
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

bool isHelp(std::string_view arg) { return arg == "--help" || arg == "-h"; }

Parsed usage(const CommandSpec* command, std::string error) {
    Parsed parsed;
    parsed.kind = Parsed::Kind::UsageError;
    parsed.command = command;
    parsed.error = std::move(error);
    return parsed;
}

std::string quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

std::string usageLine(const CommandSpec& command) {
    const std::string synopsis =
        command.synopsis.empty() ? "" : " " + std::string(command.synopsis);
    return "Usage: qtx " + std::string(command.name) + synopsis + "\n";
}

Parsed parseCommand(const CommandSpec& command, std::span<const std::string> args) {
    // Help wins over everything else given with it, as far as the options go.
    for (const std::string& arg : args) {
        if (arg == "--") break;
        if (isHelp(arg)) {
            Parsed parsed;
            parsed.kind = Parsed::Kind::Help;
            parsed.command = &command;
            return parsed;
        }
    }
    Parsed parsed;
    parsed.command = &command;
    Invocation& call = parsed.call;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg == "-" || !arg.starts_with("-")) {
            call.operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (!arg.starts_with("--")) return usage(&command, "unknown option " + quoted(arg));
        const std::size_t equals = arg.find('=');
        const std::string name =
            arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
        const OptionSpec* option = findOption(command, name);
        if (!option) return usage(&command, "unknown option " + quoted("--" + name));
        if (call.has(name)) return usage(&command, quoted("--" + name) + " is given twice");
        if (option->value.empty()) {
            if (equals != std::string::npos) {
                return usage(&command, quoted("--" + name) + " takes no value");
            }
            call.switches.insert(name);
        } else if (equals != std::string::npos) {
            call.values[name] = arg.substr(equals + 1);
        } else if (i + 1 < args.size()) {
            call.values[name] = args[++i];
        } else {
            return usage(&command,
                         quoted("--" + name) + " needs a value " + std::string(option->value));
        }
    }
    const auto count = static_cast<int>(call.operands.size());
    if (count < command.minOperands) return usage(&command, "too few operands");
    if (command.maxOperands >= 0 && count > command.maxOperands) {
        return usage(&command, "unexpected operand " + quoted(call.operands[command.maxOperands]));
    }
    if (command.check) {
        if (std::string problem = command.check(call); !problem.empty()) {
            return usage(&command, std::move(problem));
        }
    }
    parsed.kind = Parsed::Kind::Run;
    return parsed;
}

}  // namespace

std::span<const CommandSpec> commands() { return kCommands; }

Parsed parse(std::span<const std::string> args) {
    if (args.empty()) return usage(nullptr, "no command given");
    const std::string& first = args[0];
    if (isHelp(first)) {
        Parsed parsed;
        parsed.kind = Parsed::Kind::Help;
        return parsed;
    }
    if (first == "--version" || first == "-V") {
        Parsed parsed;
        parsed.kind = Parsed::Kind::Version;
        return parsed;
    }
    const CommandSpec* command = findCommand(first);
    if (!command) {
        return usage(nullptr, (first.starts_with("-") ? "unknown option " : "unknown command ") +
                                  quoted(first));
    }
    return parseCommand(*command, args.subspan(1));
}

std::string overviewHelp() {
    std::string text =
        "Usage: qtx COMMAND [OPTIONS] [OPERANDS]\n"
        "       qtx COMMAND --help | qtx --help | qtx --version\n"
        "\n"
        "Works a QTX camera and autoguider over a serial line without a window: the same\n"
        "console as qtx-console, its messages on standard error.\n"
        "\n"
        "Commands:\n";
    std::size_t width = 0;
    for (const CommandSpec& c : kCommands) width = std::max(width, c.name.size());
    for (const CommandSpec& c : kCommands) {
        text += "  " + std::string(c.name) + std::string(width - c.name.size() + 2, ' ') +
                std::string(c.summary) + "\n";
    }
    text +=
        "\nExamples:\n"
        "  qtx download --port /dev/ttyUSB0 --all night/m31\n"
        "  qtx info night/m31001.QTX\n"
        "  qtx flat night/m31001.QTX flats/f1.QTX night/m31-flat.QTX\n"
        "  qtx convert night/m31-flat.QTX m31.bmp\n"
        "  qtx convert night/m31-flat.QTX m31.fits\n";
    return text;
}

std::string commandHelp(const CommandSpec& command) {
    std::vector<std::pair<std::string, std::string_view>> lines;
    for (const OptionSpec& o : command.options) {
        std::string head = "--" + std::string(o.name);
        if (!o.value.empty()) head += " " + std::string(o.value);
        lines.emplace_back(std::move(head), o.help);
    }
    lines.emplace_back("--help", "this text");
    std::size_t width = 0;
    for (const auto& line : lines) width = std::max(width, line.first.size());

    std::string summary(command.summary);
    if (!summary.empty())
        summary[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(summary[0])));
    std::string text = usageLine(command) + "\n" + summary + ".\n\nOptions:\n";
    for (const auto& [head, help] : lines) {
        text += "  " + head + std::string(width - head.size() + 2, ' ') +
                wrapped(help, width + 4, kHelpWidth) + "\n";
    }
    // Paragraphs, each wrapped to the width and set apart by a blank line.
    std::string_view details = command.details;
    while (!details.empty()) {
        const std::size_t end = std::min(details.find('\n'), details.size());
        text += "\n" + wrapped(details.substr(0, end), 0, kHelpWidth) + "\n";
        details.remove_prefix(std::min(end + 1, details.size()));
    }
    return text;
}

std::string usageError(const Parsed& parsed) {
    std::string text = "qtx: " + parsed.error + "\n";
    if (parsed.command) {
        text += usageLine(*parsed.command) + "Try 'qtx " + std::string(parsed.command->name) +
                " --help'.\n";
    } else {
        text += "Usage: qtx COMMAND [OPTIONS] [OPERANDS]\nTry 'qtx --help'.\n";
    }
    return text;
}

std::string versionText() { return std::string("qtx ") + QTX_VERSION + "\n"; }

int runCommandLine(int argc, char* argv[]) {
    const std::vector<std::string> args(argv + std::min(argc, 1), argv + argc);
    const Parsed parsed = parse(args);
    switch (parsed.kind) {
        case Parsed::Kind::Help:
            std::fputs((parsed.command ? commandHelp(*parsed.command) : overviewHelp()).c_str(),
                       stdout);
            return kExitOk;
        case Parsed::Kind::Version:
            std::fputs(versionText().c_str(), stdout);
            return kExitOk;
        case Parsed::Kind::UsageError:
            std::fputs(usageError(parsed).c_str(), stderr);
            return kExitUsage;
        case Parsed::Kind::Run:
            break;
    }
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("qtx"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QTX_VERSION));
    return parsed.command->run(parsed.call);
}

}  // namespace qtx::cli

#include "command_line.hpp"

#include <QCoreApplication>
#include <functional>
#include <memory>
#include <utility>

#include "command_options.hpp"
#include "commands.hpp"

#ifndef QTX_VERSION
#define QTX_VERSION "0"
#endif

namespace qtx::cli {

namespace {

using options::rule;
using options::valueOption;

constexpr int kMaxTimeoutS = 24 * 3600;

std::string quoted(const std::string& text) { return "'" + text + "'"; }

std::string nonEmpty(const std::string& value) { return value.empty() ? "must not be empty" : ""; }

// --port, --baud, --timeout and --log of the commands that talk to a QTX.
void linkOptions(CLI::App& command, LinkOptions& link) {
    // Any device path or port name is passed on as it is; opening it tells what is wrong.
    valueOption(command, "--port", "DEV",
                "serial device of the QTX: /dev/ttyUSB0 for a USB adapter, the path that "
                "qtx-sim prints, or a ser2net's port as rfc2217://HOST:PORT or "
                "tcp://HOST:PORT (required)",
                [&link](const std::string& value) {
                    link.device = QString::fromLocal8Bit(value);
                    return nonEmpty(value);
                })
        ->required();
    valueOption(command, "--baud", "N",
                "line speed 19200, 38400, 57600 or 115200 (default 115200); set the QTX to the "
                "same",
                [&link](const std::string& value) -> std::string {
                    const auto baud = wholeIn(value, 0, 115200).value_or(0);
                    if (baud != 19200 && baud != 38400 && baud != 57600 && baud != 115200) {
                        return "one of 19200, 38400, 57600 and 115200, not " + quoted(value);
                    }
                    link.baud = baud;
                    return {};
                });
    valueOption(command, "--timeout", "S",
                "give up when the QTX has not answered for S seconds (default 30)",
                [&link](const std::string& value) -> std::string {
                    const auto seconds = wholeIn(value, 1, kMaxTimeoutS);
                    if (!seconds) {
                        return "a whole number of seconds from 1 to " + number(kMaxTimeoutS) +
                               ", not " + quoted(value);
                    }
                    link.timeoutS = *seconds;
                    return {};
                });
    valueOption(command, "--log", "FILE",
                "write every frame to and from the QTX to FILE, a new file: time, direction, "
                "code name and bytes in hex",
                [&link](const std::string& value) {
                    link.logPath = value;
                    return nonEmpty(value);
                });
}

// A required operand that names a file.
CLI::Option* operand(CLI::App& command, const std::string& name, std::string& into,
                     const std::string& help) {
    return command.add_option(name, into, help)->required()->check(rule(nonEmpty));
}

// The subcommands and, for the one that was given, its run.
class Commands {
  public:
    explicit Commands(CLI::App& qtx) : qtx(qtx) {}

    // Adds the command NAME; run gets what its options and operands hold. `details` is its
    // help after the options, paragraphs separated by "\n".
    template <class Args>
    std::pair<CLI::App&, Args&> add(const std::string& name, const std::string& summary,
                                    std::string_view details, int (*run)(const Args&)) {
        auto args = std::make_shared<Args>();
        CLI::App* command = qtx.add_subcommand(name, summary)->group("Commands");
        command->footer(options::paragraphs(details));
        runs.emplace_back(command, [args, run] { return run(*args); });
        return {*command, *args};
    }

    // The run of the command given.
    std::function<int()> chosen() const {
        for (const auto& [command, run] : runs) {
            if (command->parsed()) return run;
        }
        return {};
    }

  private:
    CLI::App& qtx;
    std::vector<std::pair<const CLI::App*, std::function<int()>>> runs;
};

void addCommands(Commands& commands) {
    {
        auto [c, a] = commands.add<DownloadArgs>(
            "download", "fetch the QTX's screen image, or every stored image, into .QTX files",
            "Without --all the image on the QTX's screen is fetched and saved as PATH. Either way "
            "PATH's file name is cut before its first \".\" (folders keep theirs) and \".QTX\", "
            "or the number and \".QTX\", are added. Existing files are never overwritten. The "
            "console's "
            "messages and the progress go to standard error. The QTX is switched out of remote "
            "operation at the end, also on Ctrl+C.\n"
            "Exit status: 0 when every image was written, 1 when one was not (or none came), 2 "
            "for a mistake on the command line.",
            runDownload);
        linkOptions(c, a.link);
        options::flagOption(
            c, "--all", a.all,
            "fetch every stored image (Download All) as PATH001.QTX, PATH002.QTX, ..., "
            "each summed image with its .trk and each mosaic with its .txt file");
        operand(c, "PATH", a.path, "the file, or the start of the numbered files");
    }
    {
        auto [c, a] = commands.add<InfoArgs>(
            "info", "print the header lines of saved .QTX image files",
            "For each file, its path and the header lines that the console's Image Information "
            "panel shows, on standard output. A file that cannot be read is named on standard "
            "error with the console's reason, and the other files are still read.\n"
            "Exit status: 0 when every file was read, 1 when one was not, 2 for a mistake on the "
            "command line.",
            runInfo);
        c.add_option("FILE.QTX", a.files, "the files, one or more")->required();
    }
    {
        auto [c, a] = commands.add<UploadArgs>(
            "upload", "load new program code into the QTX from a .bin file",
            "The console checks FILE's name, length and CRC first; a file it refuses is not "
            "sent. The code goes in 192 pages, each resent until the QTX has acknowledged it; "
            "the progress goes to standard error. After the QTX has taken the code it restarts "
            "and is put back under remote operation, then switched out of it at the end.\n"
            "Exit status: 0 when the QTX took the code, 1 when the file was refused or the "
            "upload failed, 2 for a mistake on the command line.",
            runUpload);
        linkOptions(c, a.link);
        operand(c, "FILE.bin", a.file, "the code image");
    }
    {
        auto [c, a] = commands.add<ConvertArgs>(
            "convert", "export saved .QTX images as bitmaps, FITS files or PNG images",
            "qtx convert FILE.QTX OUT converts one file; OUT's extension, in any case, chooses "
            "what is written. qtx convert --to KIND FILE.QTX... converts each file into a new "
            "file of KIND beside it, or in --out DIR.\n"
            ".bmp: the picture the "
            "console shows after loading FILE, at the Background and Range saved in it, as an "
            "8-bit grey bitmap of 320 x 200. .fits: the 16-bit pixels with the facts of FILE's "
            "header (Export Image as FITS...). .png: the image alone at the same levels, 8-bit "
            "grey, its own width and height. The new file's name is cut before its first "
            "\".\" and the extension is added in lower case; an existing file is never "
            "overwritten.\n"
            "Exit status: 0 when every file was converted, 1 when one could not be read or its "
            "new file not written (each such file is named), 2 for a mistake on the command "
            "line.",
            runConvert);
        valueOption(c, "--to", "KIND", "bmp, fits or png: convert every FILE.QTX into one",
                    [&a](const std::string& value) {
                        a.to = value;
                        return convertKindProblem(value);
                    });
        valueOption(c, "--out", "DIR",
                    "with --to: write the new files into the folder DIR, not beside their "
                    "sources",
                    [&a](const std::string& value) {
                        a.outDir = value;
                        return nonEmpty(value);
                    });
        c.add_option("FILE.QTX", a.files, "the saved images; without --to one, and then OUT")
            ->required()
            ->check(rule(nonEmpty));
        c.callback([&a] {
            if (!a.to.empty()) return;
            if (!a.outDir.empty()) throw CLI::ValidationError("--out", "needs --to");
            if (a.files.size() != 2) {
                throw CLI::ValidationError("OUT", a.files.size() < 2
                                                      ? "is required (or --to KIND)"
                                                      : "one only: several files need --to KIND");
            }
            if (const std::string problem = convertTargetProblem(a.files[1]); !problem.empty())
                throw CLI::ValidationError("OUT", problem);
        });
    }
    {
        auto [c, a] = commands.add<FlatArgs>(
            "flat", "correct a saved image by a flat frame into a new .QTX file",
            "IMAGE is loaded with its track list (a summed image needs it: the flat is shifted "
            "by the offsets of each exposure), divided by FLAT, which must have the same size, "
            "and saved as OUT. OUT's file name is cut before its first \".\" and \".QTX\" is "
            "added; "
            "existing files are never overwritten.\n"
            "Exit status: 0 when the corrected image was written, 1 when a file could not be "
            "read, the correction was refused or OUT not written, 2 for a mistake on the "
            "command line.",
            runFlat);
        operand(c, "IMAGE.QTX", a.image, "the saved image");
        operand(c, "FLAT.QTX", a.flat, "the flat frame, of the same size");
        operand(c, "OUT.QTX", a.out, "the corrected image");
    }
    {
        auto [c, a] = commands.add<StarsArgs>(
            "stars", "find and measure the stars of saved .QTX images",
            "For each file its stars, the brightest first: centroid (x the column, y the row, "
            "the first pixel's centre at 1, 1), peak, local background, flux above it, FWHM and "
            "half-flux radius in pixels, signal-to-noise and FWHM in arcseconds when the file "
            "gives the pixel size and focal length; then the number of stars and their median "
            "FWHM and HFR. A saturated star, one at an edge or one beside a brighter star is "
            "marked so and has no widths. A file that cannot be read is named on standard "
            "error and the other files are still read.\n"
            "Exit status: 0 when every file was read, 1 when one was not, 2 for a mistake on the "
            "command line.",
            runStars);
        options::flagOption(c, "--csv", a.csv,
                            "one header line file,x,y,peak,background,flux,fwhm_px,hfr_px,snr,"
                            "fwhm_arcsec and a row a star (fwhm_arcsec empty when unknown)");
        c.add_option("FILE.QTX", a.files, "the files, one or more")->required();
    }
    {
        auto [c, a] = commands.add<TrackArgs>(
            "track", "print the guiding offsets of a summed .QTX image",
            "FILE is loaded with its track list (FILE.trk); for each exposure its number and "
            "its X and Y offset in pixels, then the RMS of the offsets about their mean, for X, "
            "Y and both, in pixels and in arcseconds when the file gives the pixel size and "
            "focal length.\n"
            "Exit status: 0 when the offsets were printed, 1 when the file or its track list "
            "could not be read or do not match, 2 for a mistake on the command line.",
            runTrack);
        operand(c, "FILE.QTX", a.file, "the summed image");
    }
    commands.add<PortsArgs>(
        "ports", "list the serial ports with their stable names and what may hinder them",
        "One block a port: its device, its stable names under /dev/serial/by-id (these stay "
        "the same when adapters are plugged in another order), description, manufacturer, "
        "serial number and driver, then lines starting with \"!\" for what the machine tells "
        "about it: a group this user is not in, a program holding it, ModemManager or brltty, "
        "an FTDI latency timer above 1 ms. Give the device or its stable name as --port.\n"
        "Exit status: 0, also when there is no port; 2 for a mistake on the command line.",
        runPorts);
}

}  // namespace

int runCommandLine(int argc, char* argv[]) {
    CLI::App qtx(
        "Works a QTX camera and autoguider over a serial line without a window: the same "
        "console as qtx-console, its messages on standard error.",
        "qtx");
    options::prepare(qtx, 16);
    qtx.set_version_flag("-V,--version", std::string("qtx ") + QTX_VERSION, "print the version");
    qtx.require_subcommand(1);
    qtx.footer(
        "Each command has its help: qtx COMMAND --help.\n"
        "\n"
        "Examples:\n"
        "  qtx download --port /dev/ttyUSB0 --all night/m31\n"
        "  qtx info night/m31001.QTX\n"
        "  qtx flat night/m31001.QTX flats/f1.QTX night/m31-flat.QTX\n"
        "  qtx convert night/m31-flat.QTX m31.bmp\n"
        "  qtx convert night/m31-flat.QTX m31.fits\n"
        "  qtx convert --to png --out pngs night/*.QTX\n"
        "  qtx stars --csv night/*.QTX\n"
        "  qtx track night/m31003.QTX");
    Commands commands(qtx);
    addCommands(commands);

    if (const auto answered = options::parse(qtx, {argv + std::min(argc, 1), argv + argc})) {
        return *answered;
    }
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("qtx"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QTX_VERSION));
    return commands.chosen()();
}

}  // namespace qtx::cli

// Parsing of qtx's command line and its help texts, and reading the outcome of a download
// from the frames the console sends.
#include "command_line.hpp"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string_view>

#include "save_tally.hpp"
#include "test_frames.hpp"

namespace qtx::cli {
namespace {

using Kind = Parsed::Kind;

Parsed parseWords(const std::string& words) {
    std::vector<std::string> args;
    std::istringstream in(words);
    for (std::string w; in >> w;) args.push_back(w == "''" ? std::string{} : w);
    return parse(args);
}

struct Case {
    const char* args;
    Kind kind;
    const char* command;  // nullptr: none
    const char* error;    // part of the error, for UsageError
};

TEST(CommandLine, EveryFormOfArgumentsIsReadOrRefused) {
    const Case cases[] = {
        {"", Kind::UsageError, nullptr, "no command given"},
        {"--help", Kind::Help, nullptr, ""},
        {"-h", Kind::Help, nullptr, ""},
        {"--version", Kind::Version, nullptr, ""},
        {"fetch x", Kind::UsageError, nullptr, "unknown command 'fetch'"},
        {"--verbose download", Kind::UsageError, nullptr, "unknown option '--verbose'"},
        {"download --help", Kind::Help, "download", ""},
        {"download x --bogus --help", Kind::Help, "download", ""},
        {"info -h", Kind::Help, "info", ""},
        {"download --port /dev/ttyUSB0 m31", Kind::Run, "download", ""},
        {"download --port=/dev/ttyUSB0 --all --baud=19200 m31", Kind::Run, "download", ""},
        {"download --port /dev/ttyUSB0 --baud 38400 --timeout 5 m31", Kind::Run, "download", ""},
        {"download --port /dev/ttyUSB0 --baud 57600 -- --odd-name", Kind::Run, "download", ""},
        {"download m31", Kind::UsageError, "download", "'--port DEV' is required"},
        {"download --port '' m31", Kind::UsageError, "download", "'--port DEV' is required"},
        {"download --port a", Kind::UsageError, "download", "too few operands"},
        {"download --port a x y", Kind::UsageError, "download", "unexpected operand 'y'"},
        {"download --port a ''", Kind::UsageError, "download", "PATH is empty"},
        {"download --port a --baud 9600 x", Kind::UsageError, "download", "not '9600'"},
        {"download --port a --baud 115200.5 x", Kind::UsageError, "download", "'--baud'"},
        {"download --port a --baud fast x", Kind::UsageError, "download", "'--baud'"},
        {"download --port a --timeout 0 x", Kind::UsageError, "download", "'--timeout'"},
        {"download --port a --timeout 2.5 x", Kind::UsageError, "download", "'--timeout'"},
        {"download --port a --all=yes x", Kind::UsageError, "download", "'--all' takes no value"},
        {"download --port a --all --all x", Kind::UsageError, "download", "given twice"},
        {"download x --port", Kind::UsageError, "download", "needs a value DEV"},
        {"download --port a -x x", Kind::UsageError, "download", "unknown option '-x'"},
        {"download --port a --speed=1 x", Kind::UsageError, "download", "unknown option '--speed'"},
        {"info", Kind::UsageError, "info", "too few operands"},
        {"info a.QTX b.QTX - c.QTX", Kind::Run, "info", ""},
        {"info --all a.QTX", Kind::UsageError, "info", "unknown option '--all'"},
        {"upload --port a --baud 19200 --timeout 9 new.bin", Kind::Run, "upload", ""},
        {"upload new.bin", Kind::UsageError, "upload", "'--port DEV' is required"},
        {"upload --port a", Kind::UsageError, "upload", "too few operands"},
        {"upload --port a ''", Kind::UsageError, "upload", "FILE is empty"},
        {"convert m31.QTX out/m31.bmp", Kind::Run, "convert", ""},
        {"convert m31.QTX", Kind::UsageError, "convert", "too few operands"},
        {"convert m31.QTX m31.Fits", Kind::Run, "convert", ""},
        {"convert m31.QTX m31.BMP", Kind::Run, "convert", ""},
        {"convert m31.QTX m31.jpg", Kind::UsageError, "convert",
         "\".bmp\", \".fits\" or \".png\", not"},
        {"convert m31.QTX night.bmp/m31", Kind::UsageError, "convert", "not 'night.bmp/m31'"},
        {"convert '' m31.bmp", Kind::UsageError, "convert", "FILE.QTX is empty"},
        {"flat a.QTX f.QTX out.QTX", Kind::Run, "flat", ""},
        {"flat a.QTX f.QTX", Kind::UsageError, "flat", "too few operands"},
        {"flat a.QTX '' out.QTX", Kind::UsageError, "flat", "FLAT.QTX is empty"},
        {"flat a.QTX f.QTX out.QTX more", Kind::UsageError, "flat", "unexpected operand 'more'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        const Parsed p = parseWords(c.args);
        EXPECT_EQ(p.kind, c.kind) << p.error;
        ASSERT_EQ(p.command != nullptr, c.command != nullptr);
        if (c.command) {
            EXPECT_EQ(p.command->name, c.command);
        }
        if (c.kind == Kind::UsageError) {
            EXPECT_NE(p.error.find(c.error), std::string::npos) << p.error;
        }
    }
}

TEST(CommandLine, OptionValuesAndOperandsReachTheCommand) {
    const Parsed p = parseWords("download --baud=57600 --port /dev/pts/3 --all -- -m31");
    ASSERT_EQ(p.kind, Kind::Run);
    EXPECT_EQ(p.call.value("port"), "/dev/pts/3");
    EXPECT_EQ(p.call.value("baud"), "57600");
    EXPECT_TRUE(p.call.has("all"));
    EXPECT_FALSE(p.call.has("timeout"));
    EXPECT_EQ(p.call.operands, std::vector<std::string>{"-m31"});

    const Parsed info = parseWords("info b.QTX a.QTX b.QTX");
    EXPECT_EQ(info.call.operands, (std::vector<std::string>{"b.QTX", "a.QTX", "b.QTX"}));
}

TEST(CommandLine, UsageErrorsNameTheCommandAndWhereHelpIs) {
    EXPECT_EQ(usageError(parseWords("download --port a --baud 1 x")),
              "qtx: '--baud' is one of 19200, 38400, 57600 and 115200, not '1'\n"
              "Usage: qtx download --port DEV [--baud N] [--all] [--timeout S] PATH\n"
              "Try 'qtx download --help'.\n");
    EXPECT_EQ(usageError(parseWords("flash")),
              "qtx: unknown command 'flash'\n"
              "Usage: qtx COMMAND [OPTIONS] [OPERANDS]\n"
              "Try 'qtx --help'.\n");
}

// One letter a frame: H header request, R row request, T track row request, S saved report
// 0, N saved report 1, E download end, K a key (nothing to do with saving).
SaveTally tallyOf(std::string_view frames) {
    using namespace qtx::test;
    const std::map<char, Bytes> sent{{'H', headerRequest(31)}, {'R', kRow10},
                                     {'T', kTrackRowRequest},  {'S', kSaved},
                                     {'N', kNotSaved},         {'E', kDownloadEnd}};
    SaveTally tally;
    for (char f : frames) tally.sent(sent.contains(f) ? sent.at(f) : kKeyUp);
    return tally;
}

TEST(SaveTally, CountsImagesByTheirReports) {
    struct Case {
        const char* frames;
        int images;
        int written;
        bool allWritten;
    };
    const Case cases[] = {
        {"", 0, 0, false},
        {"E", 0, 0, false},  // nothing to fetch is no success
        {"HE", 0, 0, false},
        {"HRRRSE", 1, 1, true},
        {"HRRRE", 1, 0, false},           // complete, but no report: not written
        {"HRRRNE", 1, 0, false},          // "already exists!"
        {"HHHRRSE", 1, 1, true},          // the header asked for three times
        {"HRRTSHRRTSSHRSE", 3, 3, true},  // summed image, mosaic with its data file
        {"HRRTSNHRRSE", 2, 1, false},     // image written, track list refused
        {"HRRSHRRNE", 2, 1, false},       // the second exists: the run ends there
        {"HRRSHHRRSE", 2, 2, true},       // an empty buffer between: no image there
        {"HRRSHE", 1, 1, true},           // an empty buffer last
        {"HRRSHRR", 2, 1, false},         // silent before the end
        {"KHRKRSKE", 1, 1, true},         // keys in between change nothing
        {"HRRES", 1, 1, true},            // a save after the transfer
        {"HRRESN", 1, 0, false},
        {"N", 1, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.frames);
        const SaveTally t = tallyOf(c.frames);
        EXPECT_EQ(t.images(), c.images);
        EXPECT_EQ(t.written(), c.written);
        EXPECT_EQ(t.allWritten(), c.allWritten);
        EXPECT_EQ(t.ended(), std::string_view(c.frames).find('E') != std::string_view::npos);
    }
}

}  // namespace
}  // namespace qtx::cli

// Parsing of qtx's command line, and reading the outcome of a download
// from the frames the console sends.
#include "command_line.hpp"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "save_tally.hpp"
#include "test_frames.hpp"

namespace qtx::cli {
namespace {

Parsed parseWords(const std::string& words) {
    std::vector<std::string> args;
    std::istringstream in(words);
    for (std::string w; in >> w;) args.push_back(w == "''" ? std::string{} : w);
    return parse(args);
}

// "run download", "help", "help info", "version", or "error download: " and the error.
std::string outcome(const Parsed& p) {
    const char* const kinds[] = {"run", "help", "version", "error"};
    std::string s = kinds[static_cast<int>(p.kind)];
    if (p.command) s += " " + std::string(p.command->name);
    return p.kind == Parsed::Kind::UsageError ? s + ": " + p.error : s;
}

TEST(CommandLine, EveryFormOfArgumentsIsReadOrRefused) {
    // The arguments, and what the outcome starts with.
    const std::pair<const char*, const char*> cases[] = {
        {"", "error: no command given"},
        {"--help", "help"},
        {"fetch x", "error: unknown command 'fetch'"},
        {"--verbose download", "error: unknown option '--verbose'"},
        {"download x --bogus --help", "help download"},
        {"download --port=/dev/ttyUSB0 --all --baud=19200 m31", "run download"},
        {"download --port a --baud 57600 -- --odd-name", "run download"},
        {"download m31", "error download: '--port DEV' is required"},
        {"download --port a", "error download: too few operands"},
        {"download --port a ''", "error download: PATH is empty"},
        {"download --port a --baud 9600 x",
         "error download: '--baud' is one of 19200, 38400, 57600 and 115200, not '9600'"},
        {"download --port a --baud 115200.5 x", "error download: '--baud'"},
        {"download --port a --timeout 0 x", "error download: '--timeout'"},
        {"download --port a --all=yes x", "error download: '--all' takes no value"},
        {"download --port a --all --all x", "error download: '--all' is given twice"},
        {"download x --port", "error download: '--port' needs a value DEV"},
        {"download --port a -x x", "error download: unknown option '-x'"},
        {"info", "error info: too few operands"},
        {"info a.QTX b.QTX - c.QTX", "run info"},
        {"upload --port a --baud 19200 --timeout 9 new.bin", "run upload"},
        {"upload --port a ''", "error upload: FILE is empty"},
        {"convert m31.QTX out/m31.bmp", "run convert"},
        {"convert m31.QTX m31.jpg", "error convert: convert writes"},
        {"convert m31.QTX night.bmp/m31", "error convert: convert writes"},
        {"flat a.QTX f.QTX out.QTX", "run flat"},
        {"flat a.QTX '' out.QTX", "error flat: FLAT.QTX is empty"},
        {"flat a.QTX f.QTX out.QTX more", "error flat: unexpected operand 'more'"},
    };
    for (const auto& [args, expected] : cases) {
        EXPECT_TRUE(outcome(parseWords(args)).starts_with(expected))
            << args << ": " << outcome(parseWords(args));
    }
}

// One letter a frame: H header request, R row request, T track row request, S saved report
// 0, N saved report 1, E download end, K a key (nothing to do with saving). Then the images,
// those written, and whether all were.
TEST(SaveTally, CountsImagesByTheirReports) {
    using namespace qtx::test;
    const std::map<char, Bytes> sent{{'H', headerRequest(31)}, {'R', kRow10},
                                     {'T', kTrackRowRequest},  {'S', kSaved},
                                     {'N', kNotSaved},         {'E', kDownloadEnd}};
    const std::pair<const char*, std::tuple<int, int, bool>> cases[] = {
        {"E", {0, 0, false}},               // nothing to fetch is no success
        {"HHHRRSE", {1, 1, true}},          // the header asked for three times
        {"HRRTSHRRTSSHRSE", {3, 3, true}},  // summed image, mosaic with its data file
        {"HRRTSNHRRSE", {2, 1, false}},     // image written, track list refused
        {"HRRSHRRNE", {2, 1, false}},       // the second exists: the run ends there
        {"HRRSHHRRSE", {2, 2, true}},       // an empty buffer between: no image there
        {"HRRSHRR", {2, 1, false}},         // silent before the end
        {"KHRKRSKE", {1, 1, true}},         // keys in between change nothing
        {"HRRES", {1, 1, true}},            // a save after the transfer
    };
    for (const auto& [frames, expected] : cases) {
        SaveTally t;
        for (const char* f = frames; *f != '\0'; ++f)
            t.sent(sent.contains(*f) ? sent.at(*f) : kKeyUp);
        EXPECT_EQ(std::make_tuple(t.images(), t.written(), t.allWritten()), expected) << frames;
        EXPECT_EQ(t.ended(), std::string_view(frames).find('E') != std::string_view::npos);
    }
}

}  // namespace
}  // namespace qtx::cli

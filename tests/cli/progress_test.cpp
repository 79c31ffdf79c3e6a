// The progress words and their pace, and how standard error shows them.
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>

#include "cli_host.hpp"
#include "progress_meter.hpp"

namespace qtx {
namespace {

Progress rows(int done, int total, int repeats = 0, int buffer = 31) {
    Progress p;
    p.done = done;
    p.total = total;
    p.repeats = repeats;
    p.buffer = buffer;
    return p;
}

TEST(ProgressMeter, ShowsAFewTimesASecondWithTheTimeLeft) {
    struct Step {
        qint64 atMs;
        Progress progress;
        const char* shown;  // nullptr: held back
    };
    Progress all = rows(10, 100, 0, 4);
    all.image = 3;
    all.images = 14;
    Progress pages;
    pages.kind = Progress::Kind::Pages;
    pages.done = 7;
    pages.total = 192;
    const Step steps[] = {
        {1000, rows(0, 200), "Row 0 of 200"},                    // the first always shows
        {1100, rows(10, 200), nullptr},                          // too soon
        {1250, rows(25, 200), "Row 25 of 200, about 2 s left"},  // 175 rows at 100 a second
        {1300, rows(26, 200, 1), "Row 26 of 200, 1 repeated, about 3 s left"},  // a repeat shows
        {1310, rows(27, 200, 1), nullptr},
        {1320, rows(200, 200, 1), "Row 200 of 200, 1 repeated, about 0 s left"},  // the end shows
        {1340, all, "Buffer 4, image 3 of 14: row 10 of 100"},  // another buffer: new
        {1590, all, "Buffer 4, image 3 of 14: row 10 of 100"},  // nothing done: no estimate
        {1600, pages, "Page 7 of 192"},
        {3600,
         [] {
             Progress p;
             p.kind = Progress::Kind::Pages;
             p.done = 27;
             p.total = 192;
             return p;
         }(),
         "Page 27 of 192, about 17 s left"},
    };
    ProgressMeter meter(250);
    for (const Step& s : steps) {
        SCOPED_TRACE(s.atMs);
        const auto shown = meter.update(s.progress, s.atMs);
        ASSERT_EQ(shown.has_value(), s.shown != nullptr);
        if (shown) {
            EXPECT_EQ(shown->text.toStdString(), s.shown);
        }
    }
}

std::string written(bool terminal, void (*act)(cli::StatusOutput&)) {
    std::FILE* f = std::tmpfile();
    cli::StatusOutput out(f, terminal);
    act(out);
    std::string text(static_cast<std::size_t>(std::ftell(f)), '\0');
    std::rewind(f);
    EXPECT_EQ(std::fread(text.data(), 1, text.size(), f), text.size());
    std::fclose(f);
    return text;
}

TEST(StatusOutput, TerminalRewritesOneLineALogGetsLines) {
    auto act = [](cli::StatusOutput& out) {
        out.progress("Row 10 of 200");
        out.progress("Row 9 of 20");
        out.line("Communication Failed");
        out.clearProgress();
        out.progress("Row 1 of 2");
        out.clearProgress();
    };
    EXPECT_EQ(written(true, act),
              "\rRow 10 of 200\rRow 9 of 20  "
              "\r           \rCommunication Failed\n"
              "\rRow 1 of 2\r          \r");
    EXPECT_EQ(written(false, act),
              "Row 10 of 200\nRow 9 of 20\nCommunication Failed\nRow 1 of 2\n");
}

TEST(StatusOutput, ConsoleLineBreaksBecomeNewlines) {
    EXPECT_EQ(cli::plainLines("COM1 not available\r\n/dev/x: no such device"),
              "COM1 not available\n/dev/x: no such device");
    EXPECT_EQ(cli::plainLines("a\rb\r\n\r\nc\n"), "a\nb\n\nc\n");
    EXPECT_EQ(cli::plainLines("\r"), "\n");
}

}  // namespace
}  // namespace qtx

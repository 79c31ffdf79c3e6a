// The end-to-end layer: the console's core on a fake host wired in-process to the simulated
// QTX, what the console writes going to the model and what the model answers arriving as
// receive events (the fault matrix runs the same line with faults).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "console/crc16.hpp"
#include "fault_matrix.hpp"
#include "sim_support.hpp"
#include "temp_dir.hpp"

namespace qtx::sim::test {
namespace {

using matrix::Line;

TEST(ConsoleWithModel, EveryKindOfBufferArrivesWhole) {
    // Full frame, window, summed, mosaics, raw rows, binned, tiny, a single row, one column;
    // the answers in one receive event or in pieces of 97 bytes.
    for (int n : {0, 1, 2, 4, 5, 6, 9, 12, 20, 25}) {
        for (std::size_t piece : {0U, 97U}) {
            Line line({}, piece);
            line.console.Form_Load();
            line.pump();
            const matrix::Download d = matrix::download(line, n);
            EXPECT_EQ(d.outcome, matrix::Outcome::Whole) << "buffer " << n << ": " << d.detail;
            EXPECT_EQ(d.repeats, 0) << "buffer " << n;
        }
    }
}

// A code image the QTX will take: random code, its CRC stored high byte first.
Bytes goodCodeImage(std::uint64_t seed) {
    Rng rng(seed);
    Bytes image(kCodeBytes);
    for (auto& b : image) b = static_cast<std::uint8_t>(rng.next() & 0xFF);
    const std::uint16_t crc = crc16(std::span(image).first(kCodeChecked));
    image[kCodeBytes - 2] = static_cast<std::uint8_t>(crc >> 8);
    image[kCodeBytes - 1] = static_cast<std::uint8_t>(crc & 0xFF);
    return image;
}

TEST(ConsoleWithModel, UploadIsVerifiedByTheQtxThroughLostAndDamagedAnswers) {
    const std::string success = "Code succesfully uploaded - QTX restarting";
    // After the link is up the QTX answers the begin frame with frames 2 (MSG_ACK) and 3 (its
    // display), page p with frame 4 + p, and the end frame with frame 196.
    FaultPlan clean, lost, damaged, endLost, silent;
    lost.drop = 0.05;
    lost.seed = 3;
    damaged.corrupt = 0.05;
    damaged.seed = 5;
    endLost.dropFrames = {196};
    silent.silent = true;
    const struct {
        const char* what;
        FaultPlan plan;
        bool loaded;     // the QTX runs the new code
        bool confirmed;  // the console says so
        bool resent;
    } cases[] = {
        {"clean line", clean, true, true, false},
        {"lost acknowledgements", lost, true, true, true},
        {"damaged acknowledgements", damaged, true, true, true},
        {"answer to the end frame lost", endLost, true, false, false},
        {"silent QTX", silent, false, false, true},
    };
    const Bytes image = goodCodeImage(11);
    qtx::test::TempDir tmp;
    TempDir::write(tmp.path("code.bin"), std::string(image.begin(), image.end()));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Line line;
        line.console.Form_Load();
        line.pump();
        ASSERT_EQ(line.model.framesSent(), 1U);
        line.model.setFaults(c.plan);
        line.host.fileAnswers.push_back(tmp.path("code.bin"));
        line.console.mnuUploadFile_Click();
        // Time passes whenever the line falls quiet: the watchdog ticks while it runs, else
        // the one-shot timer runs out.
        for (int step = 0; step < 5000; ++step) {
            line.pump();
            if (line.host.timerRunning) {
                line.tick();
            } else if (line.host.oneShotRunning) {
                line.model.lineIdle();
                line.host.oneShotRunning = false;
                line.console.oneShotElapsed();
            } else {
                break;
            }
        }
        int begins = 0, pages = 0, ends = 0;
        for (const auto& w : line.host.written) {
            begins += w[1] == 0xFD;
            pages += w[1] == 0xFC;
            ends += w[1] == 0xFA;
        }
        const auto texts = line.host.texts;
        const bool confirmed = std::any_of(texts.begin(), texts.end(),
                                           [&](const auto& t) { return t.text == success; });
        EXPECT_EQ(line.model.code().code() == image, c.loaded);
        EXPECT_EQ(confirmed, c.confirmed);
        EXPECT_EQ(line.host.text(TextBox::PCtext), c.confirmed ? success : "Communication Failed");
        EXPECT_EQ(begins > 1 || pages > 192, c.resent);
        EXPECT_EQ(ends, c.loaded ? 1 : 0);
        EXPECT_EQ(line.console.link.pendingop, c.confirmed ? PendingOp::Key
                                               : c.loaded  ? PendingOp::CodeEnd
                                                           : PendingOp::CodeBegin);
        // Remote operation comes back two seconds after the QTX took its new code.
        if (c.loaded) {
            EXPECT_EQ(line.model.remote(), c.confirmed);
        }
        EXPECT_FALSE(line.host.progressVisible);
    }
}

TEST(ConsoleWithModel, DownloadAllSavesEveryFilledBufferAndEachLoadsBack) {
    qtx::test::TempDir tmp;
    Line line;
    line.console.Form_Load();
    line.pump();
    line.host.fileAnswers.push_back(tmp.path("night.QTX"));
    line.console.mnuflashdownload_Click();
    line.pump();
    EXPECT_EQ(line.host.written.back(), kDownloadEnd);
    EXPECT_EQ(line.model.lastSaveReport(), 0);

    int number = 0;
    for (int n = 0; n < 32; ++n) {
        if ((line.model.bufferBitmap() >> n & 1U) == 0) continue;
        const ImageBuffer& b = line.model.buffer(n);
        char name[32];
        std::snprintf(name, sizeof name, "night%03d", ++number);
        const bool summed = b.header.numexposures > 1;
        EXPECT_EQ(std::filesystem::exists(tmp.path(name + std::string(".trk"))), summed) << name;
        const bool mosaic = (b.header.flags & (kFlagMosaic40 | kFlagMosaic6)) != 0;
        EXPECT_EQ(std::filesystem::exists(tmp.path(name + std::string(".txt"))), mosaic) << name;
        if (b.header.height == 0) continue;  // announced but empty: nothing to compare
        line.host.fileAnswers.push_back(tmp.path(name + std::string(".QTX")));
        line.console.mnuload_Click();
        EXPECT_EQ(line.console.record.imagewidth, b.header.width) << name;
        EXPECT_EQ(line.console.record.imagedata.cells, b.pixels) << name;
        if (summed) {
            EXPECT_EQ(line.console.track.trackcount, b.header.numexposures) << name;
        }
    }
    EXPECT_GT(number, 5);
    EXPECT_EQ(line.host.messageBoxes, std::vector<std::string>{})
        << line.host.text(TextBox::PCtext);
    EXPECT_FALSE(std::filesystem::exists(tmp.path("night" + std::to_string(number + 1) + ".QTX")));
}

}  // namespace
}  // namespace qtx::sim::test

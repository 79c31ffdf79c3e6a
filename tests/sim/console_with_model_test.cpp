// The end-to-end layer: the console's core on a fake host wired in-process to the simulated
// QTX, also with faults on the line (the programs suite runs a Download All).
#include <gtest/gtest.h>

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

// The QTX takes a page it has already taken again when its acknowledgement was lost.
TEST(ConsoleWithModel, UploadGetsThroughLostAndDamagedAcknowledgements) {
    const Bytes image = goodCodeImage(11);
    qtx::test::TempDir tmp;
    TempDir::write(tmp.path("code.bin"), std::string(image.begin(), image.end()));
    FaultPlan lost, damaged;
    lost.seed = 3;
    lost.drop = 0.05;
    damaged.seed = 5;
    damaged.corrupt = 0.05;
    for (const FaultPlan& plan : {lost, damaged}) {
        Line line;
        line.console.Form_Load();
        line.pump();
        line.model.setFaults(plan);
        line.host.fileAnswers.push_back(tmp.path("code.bin"));
        line.console.mnuUploadFile_Click();
        // Time passes whenever the line falls quiet: the watchdog ticks while it runs, else
        // the one-shot timer runs out.
        for (int step = 0; step < 5000; ++step) {
            line.pump();
            if (line.host.timerRunning) {
                line.tick();
            } else if (!line.host.oneShotRunning) {
                break;
            } else {
                line.model.lineIdle();
                line.host.oneShotRunning = false;
                line.console.oneShotElapsed();
            }
        }
        const auto pages = std::count_if(line.host.written.begin(), line.host.written.end(),
                                         [](const auto& w) { return w[1] == 0xFC; });
        EXPECT_EQ(line.model.code().code(), image) << plan.seed;
        EXPECT_EQ(line.host.text(TextBox::PCtext), "Code succesfully uploaded - QTX restarting");
        EXPECT_GT(pages, 192) << plan.seed;
        EXPECT_TRUE(line.model.remote()) << plan.seed;
    }
}

// A few downloads in every cell of the fault matrix; bench/fault_matrix runs the full one.
TEST(FaultMatrix, EveryDownloadEndsWholeOrInCommunicationFailed) {
    using namespace matrix;
    int first = 0, whole = 0;
    for (Fault fault : {Fault::Drop, Fault::Corrupt, Fault::Pause, Fault::Garbage}) {
        for (Way way : {Way::ToQtx, Way::FromQtx}) {
            for (double rate : {0.05, 0.10, 0.20}) {
                // Each cell starts at another buffer, so that together they take every kind.
                const Cell cell = runCell(fault, way, rate, 3, first++);
                whole += cell.whole;
                EXPECT_EQ(cell.wrong, 0) << name(fault) << " " << name(way) << " " << rate << ": "
                                         << (cell.wrongs.empty() ? "" : cell.wrongs[0]);
            }
        }
    }
    // A matrix of nothing but failures would prove nothing.
    EXPECT_GT(whole, 50);
}

}  // namespace
}  // namespace qtx::sim::test

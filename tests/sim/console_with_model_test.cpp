// The console's core wired in-process to the simulated QTX through a line with faults.
#include <gtest/gtest.h>

#include "fault_matrix.hpp"

namespace qtx::sim::matrix {
namespace {

// A few downloads in every cell of the fault matrix; bench/fault_matrix runs the full one.
TEST(FaultMatrix, EveryDownloadEndsWholeOrInCommunicationFailed) {
    // Without faults every kind of buffer arrives whole at the first asking.
    const Cell clean = runCell(Fault::Drop, Way::FromQtx, 0.0, 16);
    EXPECT_EQ(std::make_pair(clean.whole, clean.repeats), std::make_pair(16, 0L));
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
}  // namespace qtx::sim::matrix

// The full fault matrix: 100 downloads a cell with fixed seeds, printed as a table.
//   build/bench/fault_matrix [downloads a cell]
#include "fault_matrix.hpp"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    using namespace qtx::sim::matrix;
    const int downloads = argc > 1 ? std::atoi(argv[1]) : 100;
    if (downloads < 1) {
        std::fprintf(stderr, "usage: fault_matrix [downloads a cell]\n");
        return 2;
    }
    std::printf(
        "| frames | of the | rate | whole images | Communication Failed | wrong images "
        "| mean repeats |\n|---|---|---|---|---|---|---|\n");
    int wrong = 0;
    for (Fault fault : {Fault::Drop, Fault::Corrupt, Fault::Pause, Fault::Garbage}) {
        for (Way way : {Way::ToQtx, Way::FromQtx}) {
            for (double rate : {0.05, 0.10, 0.20}) {
                const Cell c = runCell(fault, way, rate, downloads);
                wrong += c.wrong;
                std::printf("| %s | %s | %.0f %% | %d | %d | %d | %.1f |\n", name(fault), name(way),
                            rate * 100, c.whole, c.failed, c.wrong,
                            c.whole ? static_cast<double>(c.repeats) / c.whole : 0.0);
                for (const auto& w : c.wrongs) std::printf("  wrong: %s\n", w.c_str());
                std::fflush(stdout);
            }
        }
    }
    return wrong == 0 ? 0 : 1;
}

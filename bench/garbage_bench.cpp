// 10 MB of random bytes through the console's receiver, in pieces as a port delivers them,
// then the link is set up again, a key acknowledged and an image downloaded. Prints the
// worst time of one receive event, the most the receive buffer held, and the memory used.
//   build/bench/garbage_bench [megabytes]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>

#include "fault_matrix.hpp"

namespace {

long residentKb() {
    long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace qtx::sim::matrix;
    using Clock = std::chrono::steady_clock;
    const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 10;
    Line line;
    line.console.Form_Load();
    line.pump();
    std::mt19937_64 rng(2024);
    const long before = residentKb();
    double worstUs = 0, totalUs = 0;
    int most = 0;
    std::size_t events = 0, fed = 0;
    while (fed < megabytes << 20) {
        // Pieces from 1 byte to 4 KB, as a port hands them over.
        const std::size_t n = 1 + rng() % 4096;
        line.host.incoming.resize(n);
        for (auto& b : line.host.incoming) b = static_cast<std::uint8_t>(rng());
        const auto t0 = Clock::now();
        line.console.onSerialEvent(qtx::SerialEvent::DataReceived);
        const double us = std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
        worstUs = std::max(worstUs, us);
        totalUs += us;
        most = std::max<int>(most, line.console.linkState().rxcount);
        fed += n;
        ++events;
        // What the console answered to the noise goes nowhere: the QTX is not listening.
        line.forgetWritten();
        line.host.texts.clear();
        line.host.timerEvents.clear();
        if (events % 64 == 0) line.console.watchdogTick();
    }
    const long after = residentKb();
    std::printf("garbage: %zu bytes in %zu receive events, mean %.1f us, worst %.1f us\n", fed,
                events, totalUs / static_cast<double>(events), worstUs);
    std::printf(
        "receive buffer: at most %d of %zu bytes; resident memory %ld kB before, %ld kB after\n",
        most, qtx::kRxBufferSize, before, after);

    // The line again: link, a key, an image.
    line.forgetWritten();
    line.model.lineIdle();
    line.console.establishLink(1);
    line.pump();
    const std::string link = line.host.text(qtx::TextBox::PCtext);
    line.console.cmdfocus_Click();
    line.pump();
    const std::string key = line.host.text(qtx::TextBox::PCtext);
    showOnScreen(line.model, 12);
    const Download d = download(line, 12);
    std::printf("afterwards: '%s', '%s', image %s\n", link.c_str(), key.c_str(),
                d.outcome == Outcome::Whole ? "whole" : d.detail.c_str());
    return link.find("stablished") != std::string::npos && key == "Keypress acknowledged" &&
                   d.outcome == Outcome::Whole
               ? 0
               : 1;
}

// The words of the progress display and its pace, the same in the window and on the
// command line: what is on its way, how far it is, and about how long is left at the rate
// of this transfer so far.
#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

#include "host.hpp"

namespace qtx {

class ProgressMeter {
  public:
    struct Shown {
        QString text;  // "Buffer 5, image 2 of 7: row 50 of 200, 2 repeated, about 3 s left"
        int done = 0;  // for a bar: done of total, total at least 1
        int total = 1;
    };

    // Updates come at most once a period, except the first of a transfer, a new repeat and
    // the last step, which always show.
    explicit ProgressMeter(qint64 periodMs) : periodMs(periodMs) {}

    // nowMs from one steady clock of the caller. Nothing when the update is not to be shown.
    std::optional<Shown> update(const Progress& progress, qint64 nowMs);
    // The transfer is over (or abandoned); the next update starts a new one.
    void stop() { running = false; }

  private:
    qint64 periodMs;
    bool running = false;
    Progress::Kind kind = Progress::Kind::Rows;
    int buffer = -1;
    int startDone = 0;
    qint64 startMs = 0;
    qint64 shownAtMs = 0;
    int repeatsShown = 0;
};

}  // namespace qtx

#include "loop_timer.hpp"

#include <libindi/indidevapi.h>

#include <algorithm>

namespace qtx::indi {

void LoopTimer::start(int intervalMs, bool periodic) {
    stop();
    // A periodic timer of 0 ms would never let the loop wait.
    interval = std::max(intervalMs, periodic ? 1 : 0);
    repeat = periodic;
    id = IEAddTimer(interval, &LoopTimer::fire, this);
}

void LoopTimer::stop() {
    if (id != 0) IERmTimer(id);
    id = 0;
}

void LoopTimer::fire(void* self) {
    auto* timer = static_cast<LoopTimer*>(self);
    // This record is the loop's to free now; the next tick is a new one.
    timer->id = timer->repeat ? IEAddTimer(timer->interval, &LoopTimer::fire, timer) : 0;
    timer->handler();
}

}  // namespace qtx::indi

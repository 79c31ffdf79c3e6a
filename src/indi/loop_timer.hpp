// A timer on libindi's event loop, one-shot or periodic.
//
// The loop frees a timer's record only after its function has returned, and finds it again by
// its address: removing the firing timer from inside its own function (a watchdog that
// restarts itself) would let a new timer reuse that address and be taken for it. So every
// tick is a one-shot timer, and a periodic one arms the next tick before it runs the handler.
#pragma once

#include <functional>

namespace qtx::indi {

class LoopTimer {
  public:
    explicit LoopTimer(std::function<void()> onTimeout) : handler(std::move(onTimeout)) {}
    ~LoopTimer() { stop(); }
    LoopTimer(const LoopTimer&) = delete;
    LoopTimer& operator=(const LoopTimer&) = delete;

    // (Re)starts: the handler runs after intervalMs, and every intervalMs when periodic.
    void start(int intervalMs, bool periodic = false);
    void stop();
    bool active() const { return id != 0; }

  private:
    static void fire(void* self);

    std::function<void()> handler;
    int id = 0;
    int interval = 0;
    bool repeat = false;
};

}  // namespace qtx::indi

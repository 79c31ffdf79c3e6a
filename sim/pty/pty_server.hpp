// Serves the simulated QTX on a pseudo-terminal: the console opens slavePath() as its
// serial port. A background thread reads what the console writes, feeds the model, and
// sends the model's answers paced at the line's speed (bits per byte: start, 8 data and
// the stop bits), so transfers take as long as on the real cable; through a USB adapter's
// packets when asked (holdbackMs).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "model/qtx_model.hpp"
#include "pty/usb_adapter.hpp"

namespace qtx::sim {

struct ServerOptions {
    std::uint32_t baud = 115200;
    std::uint32_t bitsPerByte = 11;     // 8N2
    std::FILE* log = nullptr;           // every frame both ways, when given; open until stop()
    std::size_t maxQueued = 64 * 1024;  // answers beyond this are lost, like an overrun
    int idleMs = 1000;                  // a frame that stops arriving is given up after this
    // The latency of a USB serial adapter on the way to the console: the tail of every burst
    // arrives this many milliseconds after it left the cable (0: a plain serial port).
    int holdbackMs = 0;
};

class PtyServer {
  public:
    PtyServer(const ModelOptions& model, const ServerOptions& options);
    ~PtyServer();
    PtyServer(const PtyServer&) = delete;
    PtyServer& operator=(const PtyServer&) = delete;

    // Creates the pseudo-terminal and starts serving; false (and error()) when it cannot.
    bool start();
    // Stops serving and joins the thread; the pseudo-terminal is closed.
    void stop();

    const std::string& slavePath() const { return path; }
    const std::string& error() const { return failure; }

    // Runs fn on the model under the server's lock; what it queued goes out next.
    void withModel(const std::function<void(QtxModel&)>& fn);

    std::uint64_t bytesSent() const { return sent.load(); }
    std::uint64_t bytesReceived() const { return got.load(); }

  private:
    using Clock = std::chrono::steady_clock;
    struct Pending {
        std::vector<std::uint8_t> bytes;
        std::size_t offset = 0;
        Clock::time_point readyAt;
    };

    bool openPty();
    void run();
    void wake();
    void collectOutput(Clock::time_point now);
    void logLine(Direction direction, std::span<const std::uint8_t> bytes, const std::string& note);

    ServerOptions opts;
    QtxModel model;
    std::mutex lock;  // guards the model and the log
    int master = -1;
    int slaveKeep = -1;  // held open so the master never sees a hang-up between consoles
    int wakeRead = -1, wakeWrite = -1;
    std::string path;
    std::string failure;
    std::thread worker;
    std::atomic<bool> stopping{false};
    std::atomic<std::uint64_t> sent{0}, got{0};
    Clock::time_point started;

    // Owned by the worker thread.
    std::deque<Pending> queue;
    std::size_t queued = 0;
    Clock::time_point lineFreeAt;
    UsbAdapter adapter;
    std::vector<std::uint8_t> ready;  // off the cable and the adapter, not yet taken by the pty
};

}  // namespace qtx::sim

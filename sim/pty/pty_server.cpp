#include "pty/pty_server.hpp"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>

#include "link/frame.hpp"
#include "link/frame_log.hpp"
#include "serial_speed.hpp"

namespace qtx::sim {

namespace {

void setNonBlocking(int fd) {
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    fcntl(fd, F_SETFD, FD_CLOEXEC);
}

void closeFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

PtyServer::PtyServer(const ModelOptions& modelOptions, const ServerOptions& options)
    : opts(options),
      model(modelOptions),
      adapter(std::chrono::milliseconds(std::max(0, options.holdbackMs))) {
    if (opts.baud == 0) opts.baud = 115200;
    if (opts.bitsPerByte == 0) opts.bitsPerByte = 11;
    model.setWatcher([this](Direction d, std::span<const std::uint8_t> bytes,
                            const std::string& note) { logLine(d, bytes, note); });
}

PtyServer::~PtyServer() { stop(); }

void PtyServer::logLine(Direction direction, std::span<const std::uint8_t> bytes,
                        const std::string& note) {
    // Called with `lock` held, from whichever thread is working the model.
    if (!opts.log) return;
    const double t = std::chrono::duration<double>(Clock::now() - started).count();
    // Received bytes that the QTX gave up are no frame to it, and neither is garbage.
    const bool received = direction == Direction::In;
    const bool frame = bytes.size() >= kHeaderSize && bytes[0] == kSync &&
                       !(received && !note.empty()) && note != "garbage";
    const LogDirection way = received ? LogDirection::Received : LogDirection::Sent;
    const std::string line =
        frame ? frameLogLine(t, way, received ? LineEnd::Console : LineEnd::Qtx, bytes, note)
              : bytesLogLine(t, way, bytes, note);
    std::fputs(line.c_str(), opts.log);
    std::fputc('\n', opts.log);
    std::fflush(opts.log);
}

bool PtyServer::openPty() {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        failure = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        closeFd(master);
        return false;
    }
    const char* name = ptsname(master);
    if (!name) {
        failure = std::string("cannot name the pseudo-terminal: ") + std::strerror(errno);
        closeFd(master);
        return false;
    }
    path = name;
    setNonBlocking(master);
    // Holding the slave side open keeps its settings between consoles and spares the master
    // the hang-up state (every poll reporting POLLHUP) while no console has it open.
    slaveKeep = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slaveKeep < 0) {
        failure = "cannot open " + path + ": " + std::strerror(errno);
        closeFd(master);
        return false;
    }
    termios t{};
    if (tcgetattr(slaveKeep, &t) == 0) {
        cfmakeraw(&t);
        t.c_cflag |= CLOCAL | CREAD;
        if (opts.bitsPerByte >= 11) t.c_cflag |= CSTOPB;
        if (const auto s = posix::speedCode(opts.baud)) {
            cfsetispeed(&t, *s);
            cfsetospeed(&t, *s);
        }
        tcsetattr(slaveKeep, TCSANOW, &t);
    }
    int fds[2];
    if (pipe(fds) != 0) {
        failure = std::string("cannot create a pipe: ") + std::strerror(errno);
        closeFd(slaveKeep);
        closeFd(master);
        return false;
    }
    wakeRead = fds[0];
    wakeWrite = fds[1];
    setNonBlocking(wakeRead);
    setNonBlocking(wakeWrite);
    return true;
}

bool PtyServer::start() {
    if (worker.joinable()) return true;
    if (master < 0 && !openPty()) return false;
    started = Clock::now();
    lineFreeAt = started;
    stopping = false;
    worker = std::thread([this] { run(); });
    return true;
}

void PtyServer::stop() {
    if (worker.joinable()) {
        stopping = true;
        wake();
        worker.join();
    }
    closeFd(slaveKeep);
    closeFd(master);
    closeFd(wakeRead);
    closeFd(wakeWrite);
}

void PtyServer::wake() {
    if (wakeWrite < 0) return;
    const std::uint8_t b = 1;
    // A full pipe already holds a wake-up; nothing is lost when this write fails.
    [[maybe_unused]] const ssize_t n = ::write(wakeWrite, &b, 1);
}

void PtyServer::withModel(const std::function<void(QtxModel&)>& fn) {
    {
        std::lock_guard<std::mutex> guard(lock);
        fn(model);
    }
    wake();
}

void PtyServer::collectOutput(Clock::time_point now) {
    for (Emission& e : model.takeEmissions()) {
        if (queued + e.bytes.size() > opts.maxQueued) {
            logLine(Direction::Out, e.bytes, "lost: the line is full");
            continue;
        }
        // A line that stood idle starts sending now, not at the end of its last burst.
        if (queue.empty() && lineFreeAt < now) lineFreeAt = now;
        queued += e.bytes.size();
        queue.push_back({std::move(e.bytes), 0, now + std::chrono::milliseconds(e.delayMs)});
    }
}

void PtyServer::run() {
    const auto byteTime =
        std::chrono::nanoseconds(static_cast<std::int64_t>(1e9 * opts.bitsPerByte / opts.baud));
    const double bytesPerSecond = static_cast<double>(opts.baud) / opts.bitsPerByte;
    // Small chunks of about 2 ms of line time: smooth enough for the watchdog of the
    // console, few enough wake-ups to cost nothing.
    const std::size_t chunk =
        std::clamp<std::size_t>(static_cast<std::size_t>(bytesPerSecond / 500), 1, 64);
    const auto idle = std::chrono::milliseconds(opts.idleMs);
    bool blocked = false;  // the slave's input queue is full: wait for room
    Clock::time_point lastInput = Clock::now();
    std::vector<std::uint8_t> in(4096);

    while (!stopping) {
        Clock::time_point now = Clock::now();
        bool partial = false;
        {
            std::lock_guard<std::mutex> guard(lock);
            collectOutput(now);
            if (model.holdsPartialFrame() && now - lastInput >= idle) model.lineIdle();
            partial = model.holdsPartialFrame();
        }

        // How long the line may sleep; none: until something arrives.
        std::optional<Clock::duration> wait;
        bool hungUp = false;
        while (!blocked) {
            // What the adapter hands on goes to the pty first, as far as it takes it.
            adapter.release(now, ready);
            if (!ready.empty()) {
                const ssize_t w = ::write(master, ready.data(), ready.size());
                if (w < 0) {
                    if (errno == EINTR) continue;
                    if (errno == EAGAIN || errno == EWOULDBLOCK) {
                        blocked = true;
                    } else {
                        hungUp = true;
                    }
                    break;
                }
                ready.erase(ready.begin(), ready.begin() + w);
                sent += static_cast<std::uint64_t>(w);
                if (!ready.empty()) continue;
            }
            if (queue.empty()) break;
            Pending& head = queue.front();
            const std::size_t k =
                std::min({chunk, head.bytes.size() - head.offset, adapter.roomInPacket()});
            const Clock::time_point begin = std::max(lineFreeAt, head.readyAt);
            const Clock::time_point doneAt = begin + byteTime * static_cast<long>(k);
            // The chunk is handed over when its last bit would have arrived on the cable.
            if (now < doneAt) {
                wait = doneAt - now;
                break;
            }
            adapter.arrive(std::span(head.bytes).subspan(head.offset, k), doneAt);
            head.offset += k;
            queued -= k;
            lineFreeAt = doneAt;
            if (head.offset == head.bytes.size()) queue.pop_front();
            now = Clock::now();
        }
        if (const auto due = adapter.nextRelease(); due && !blocked) {
            const Clock::duration left = *due - now;
            wait = wait ? std::min(*wait, left) : left;
        }
        if (partial) {
            const Clock::duration left = lastInput + idle - now;
            wait = wait ? std::min(*wait, left) : left;
        }
        // To the microsecond: a wait rounded up to whole milliseconds would make every
        // reply late by up to a millisecond, which at 115200 baud is a tenth of a row.
        timespec pause{};
        if (wait) {
            const auto ns = std::max<std::int64_t>(
                0, std::chrono::duration_cast<std::chrono::nanoseconds>(*wait).count());
            pause.tv_sec = static_cast<time_t>(ns / 1000000000);
            pause.tv_nsec = static_cast<long>(ns % 1000000000);
        }

        pollfd fds[2] = {{master, static_cast<short>(POLLIN | (blocked ? POLLOUT : 0)), 0},
                         {wakeRead, POLLIN, 0}};
        // Without a console on the slave side the master reports a hang-up on every poll;
        // then only the wake pipe is watched, with a timeout, so the loop never spins.
        const int r =
            hungUp ? ::poll(fds + 1, 1, 50) : ::ppoll(fds, 2, wait ? &pause : nullptr, nullptr);
        if (r < 0 && errno != EINTR) break;
        if (fds[1].revents & POLLIN) {
            std::uint8_t sink[64];
            while (::read(wakeRead, sink, sizeof sink) > 0) {
            }
        }
        if (hungUp) continue;
        if (fds[0].revents & POLLOUT) {
            blocked = false;
            lineFreeAt = std::max(lineFreeAt, Clock::now());
        }
        if (fds[0].revents & POLLIN) {
            for (;;) {
                const ssize_t n = ::read(master, in.data(), in.size());
                if (n <= 0) break;
                got += static_cast<std::uint64_t>(n);
                lastInput = Clock::now();
                std::lock_guard<std::mutex> guard(lock);
                model.receive(std::span(in).first(static_cast<std::size_t>(n)));
            }
        } else if (fds[0].revents & (POLLHUP | POLLERR)) {
            std::uint8_t sink[64];
            [[maybe_unused]] const ssize_t n = ::read(master, sink, sizeof sink);
            ::poll(fds + 1, 1, 50);
        }
    }
}

}  // namespace qtx::sim

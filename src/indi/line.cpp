#include "line.hpp"

#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>

#include "serial_speed.hpp"

namespace qtx::indi {

namespace {

// How long a write may wait for room before it gives up.
constexpr int kWriteWaitMs = 2000;

std::string_view trim(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

std::optional<int> whole(std::string_view s) {
    s = trim(s);
    int v = 0;
    const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (s.empty() || error != std::errc() || end != s.data() + s.size()) return std::nullopt;
    return v;
}

}  // namespace

std::optional<LineSettings> parseLineSettings(std::string_view text) {
    std::string_view fields[4];
    for (int i = 0; i < 4; ++i) {
        const std::size_t comma = text.find(',');
        if ((i < 3) == (comma == std::string_view::npos)) return std::nullopt;
        fields[i] = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
    }
    LineSettings s;
    const auto baud = whole(fields[0]);
    const auto data = whole(fields[2]);
    const auto stop = whole(fields[3]);
    const std::string_view parity = trim(fields[1]);
    if (!baud || !posix::speedCode(*baud) || !data || *data < 5 || *data > 8 || !stop ||
        (*stop != 1 && *stop != 2) || parity.size() != 1) {
        return std::nullopt;
    }
    const char p = static_cast<char>(parity[0] & ~0x20);  // upper case
    if (p != 'N' && p != 'E' && p != 'O') return std::nullopt;
    s.baud = *baud;
    s.parity = p;
    s.dataBits = *data;
    s.stopBits = *stop;
    return s;
}

void Line::close(int drainMs) {
    if (fd < 0) return;
    // The last request (remote operation off) should leave before the line closes; a device
    // that stopped taking bytes is not waited for longer than drainMs. (On a socket the count
    // is of what the server has not acknowledged yet.)
    for (int waited = 0; waited < drainMs; waited += 10) {
        int queued = 0;
        if (::ioctl(fd, TIOCOUTQ, &queued) != 0 || queued <= 0) break;
        ::usleep(10000);
    }
    release();
    ::close(fd);
    fd = -1;
}

Line::Read Line::readAvailable(std::vector<std::uint8_t>& out) {
    if (fd < 0) return Read::Gone;
    Read result = Read::Nothing;
    std::uint8_t chunk[4096];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n > 0) {
            out.insert(out.end(), chunk, chunk + n);
            result = Read::Data;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return result;
        // End of file, or EIO or a reset: the other side hung up or the adapter is gone.
        return result == Read::Data ? Read::Data : Read::Gone;
    }
}

bool Line::writeAll(std::span<const std::uint8_t> bytes) {
    if (fd < 0) return false;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kWriteWaitMs);
    while (!bytes.empty()) {
        // On a socket whose server went away a write must fail, not end the driver (SIGPIPE).
        const ssize_t n = onSocket ? ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL)
                                   : ::write(fd, bytes.data(), bytes.size());
        if (n > 0) {
            bytes = bytes.subspan(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) < 0 && errno != EINTR) return false;
        if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) return false;
    }
    return true;
}

}  // namespace qtx::indi

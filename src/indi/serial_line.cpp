#include "serial_line.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>

namespace qtx::indi {

namespace {

// How long a write may wait for room in the device's buffer before it gives up.
constexpr int kWriteWaitMs = 2000;

std::optional<speed_t> speedCode(int baud) {
    switch (baud) {
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        case 230400:
            return B230400;
        default:
            return std::nullopt;
    }
}

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

bool configure(int fd, const LineSettings& s, std::string& why) {
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) {
        why = std::strerror(errno);
        return false;
    }
    ::cfmakeraw(&tio);
    const speed_t speed = *speedCode(s.baud);
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
    tio.c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS | HUPCL);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag |= s.dataBits == 5 ? CS5 : s.dataBits == 6 ? CS6 : s.dataBits == 7 ? CS7 : CS8;
    if (s.stopBits == 2) tio.c_cflag |= CSTOPB;
    if (s.parity != 'N') tio.c_cflag |= PARENB | (s.parity == 'O' ? PARODD : 0);
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
        why = std::strerror(errno);
        return false;
    }
    return true;
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
    if (!baud || !speedCode(*baud) || !data || *data < 5 || *data > 8 || !stop ||
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

SerialLine::~SerialLine() { close(0); }

bool SerialLine::open(const std::string& device, const LineSettings& settings) {
    close(0);
    why.clear();
    const int opened = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (opened < 0) {
        why = device + ": " + std::strerror(errno);
        return false;
    }
    // One program at a time on the line, as other INDI drivers keep it.
    if (!::isatty(opened) || ::ioctl(opened, TIOCEXCL) != 0 || !configure(opened, settings, why)) {
        if (why.empty()) why = std::strerror(errno);
        why = device + ": not a serial line (" + why + ")";
        ::close(opened);
        return false;
    }
    ::tcflush(opened, TCIOFLUSH);
    fd = opened;
    path = device;
    return true;
}

bool SerialLine::apply(const LineSettings& settings) {
    return fd >= 0 && configure(fd, settings, why);
}

void SerialLine::close(int drainMs) {
    if (fd < 0) return;
    // The last request (remote operation off) should leave before the line closes; a device
    // that stopped taking bytes is not waited for longer than drainMs.
    for (int waited = 0; waited < drainMs; waited += 10) {
        int queued = 0;
        if (::ioctl(fd, TIOCOUTQ, &queued) != 0 || queued <= 0) break;
        ::usleep(10000);
    }
    // The exclusive mode outlives the descriptor while another one is open (a simulator
    // holds its own): the next opening would be refused.
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);
    fd = -1;
}

SerialLine::Read SerialLine::readInto(std::vector<std::uint8_t>& out) {
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
        // End of file on a terminal, or EIO: the other side hung up or the adapter is gone.
        return result == Read::Data ? Read::Data : Read::Gone;
    }
}

bool SerialLine::write(std::span<const std::uint8_t> bytes) {
    if (fd < 0) return false;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kWriteWaitMs);
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
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

#include "serial_line.hpp"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "serial_speed.hpp"

namespace qtx::indi {

namespace {

bool configure(int fd, const LineSettings& s, std::string& why) {
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) {
        why = std::strerror(errno);
        return false;
    }
    ::cfmakeraw(&tio);
    const speed_t speed = *posix::speedCode(s.baud);
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
    name = device;
    return true;
}

bool SerialLine::apply(const LineSettings& settings) {
    return fd >= 0 && configure(fd, settings, why);
}

void SerialLine::release() {
    // The exclusive mode outlives the descriptor while another one is open (a simulator
    // holds its own): the next opening would be refused.
    ::ioctl(fd, TIOCNXCL);
}

}  // namespace qtx::indi

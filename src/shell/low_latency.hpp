// Low-latency mode of a serial driver: a USB adapter then hands over each reply at once
// instead of waiting to fill a packet (an FTDI adapter's latency timer drops to 1 ms). The
// driver is reached through a tiny interface so that a test can check the request.
#pragma once

#ifdef __linux__

#include <linux/serial.h>

namespace qtx {

class SerialDriver {
  public:
    virtual ~SerialDriver() = default;
    // ioctl TIOCGSERIAL and TIOCSSERIAL: 0, or -1 with errno set.
    virtual int getSerial(int fd, serial_struct& info) = 0;
    virtual int setSerial(int fd, const serial_struct& info) = 0;
};

// The kernel's.
SerialDriver& systemSerialDriver();

enum class LowLatency { Set, AlreadySet, Unsupported };

// Sets ASYNC_LOW_LATENCY and leaves every other setting as it is. A device without the
// request (a pseudo-terminal) or that refuses it is Unsupported and left alone.
LowLatency requestLowLatency(int fd, SerialDriver& driver);

}  // namespace qtx

#endif  // __linux__

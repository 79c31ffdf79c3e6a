#include "low_latency.hpp"

#ifdef __linux__

#include <sys/ioctl.h>

namespace qtx {

namespace {

class KernelSerialDriver : public SerialDriver {
  public:
    int getSerial(int fd, serial_struct& info) override { return ::ioctl(fd, TIOCGSERIAL, &info); }
    int setSerial(int fd, const serial_struct& info) override {
        return ::ioctl(fd, TIOCSSERIAL, &info);
    }
};

}  // namespace

SerialDriver& systemSerialDriver() {
    static KernelSerialDriver driver;
    return driver;
}

LowLatency requestLowLatency(int fd, SerialDriver& driver) {
    serial_struct info{};
    if (driver.getSerial(fd, info) != 0) return LowLatency::Unsupported;
    if (info.flags & ASYNC_LOW_LATENCY) return LowLatency::AlreadySet;
    info.flags |= ASYNC_LOW_LATENCY;
    return driver.setSerial(fd, info) == 0 ? LowLatency::Set : LowLatency::Unsupported;
}

}  // namespace qtx

#endif  // __linux__

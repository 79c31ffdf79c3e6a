// The line under the driver, whatever it runs on: a local serial device (SerialLine) or a
// serial port served over the network (NetworkLine). Both are a descriptor that libindi's
// event loop watches, opened without blocking for long and read without blocking at all.
// No Qt: the driver runs on libindi's loop alone.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qtx::indi {

// The console's settings string ("115200,N,8,2"): speed, parity, data bits, stop bits.
struct LineSettings {
    int baud = 115200;
    char parity = 'N';  // N, E or O
    int dataBits = 8;
    int stopBits = 2;
    friend bool operator==(const LineSettings&, const LineSettings&) = default;
};

// Nothing unless the text is four comma-separated fields: a speed the terminal interface
// knows, N, E or O (either case), 5 to 8 data bits and 1 or 2 stop bits.
std::optional<LineSettings> parseLineSettings(std::string_view text);

class Line {
  public:
    Line() = default;
    virtual ~Line() = default;
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;

    // False, with failure() in words (the device's name first), when it cannot be opened.
    virtual bool open(const std::string& device, const LineSettings& settings) = 0;
    // Changes the settings of the open line; false when the device refuses them.
    virtual bool apply(const LineSettings& settings) = 0;
    // Waits at most drainMs for what was written to leave, then closes.
    void close(int drainMs);

    bool isOpen() const { return fd >= 0; }
    int descriptor() const { return fd; }
    const std::string& device() const { return name; }
    const std::string& failure() const { return why; }

    // Quiet: bytes came, none of them for the console (a network server's own messages).
    enum class Read { Data, Quiet, Nothing, Gone };
    // Appends every waiting byte; Gone when the device hung up or went away.
    virtual Read readInto(std::vector<std::uint8_t>& out) = 0;
    // Writes all of it, waiting at most a moment for room; false when the device is gone or
    // stays full (what did not fit is dropped: the console repeats its requests).
    virtual bool write(std::span<const std::uint8_t> bytes) = 0;

  protected:
    // What the descriptor holds, appended; Gone at its end or on an error, unless bytes came.
    Read readAvailable(std::vector<std::uint8_t>& out);
    bool writeAll(std::span<const std::uint8_t> bytes);
    // Before the descriptor closes: a serial line gives up its exclusive use.
    virtual void release() {}

    int fd = -1;
    bool onSocket = false;
    std::string name;
    std::string why;
};

}  // namespace qtx::indi

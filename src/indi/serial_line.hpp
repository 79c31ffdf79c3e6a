// The serial port under the driver: a POSIX terminal device, opened without blocking and
// in raw mode, whose descriptor libindi's event loop watches. No Qt: the driver runs on
// libindi's loop alone.
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

class SerialLine {
  public:
    SerialLine() = default;
    ~SerialLine();
    SerialLine(const SerialLine&) = delete;
    SerialLine& operator=(const SerialLine&) = delete;

    // False, with failure() in words, when the device cannot be opened as a serial line.
    bool open(const std::string& device, const LineSettings& settings);
    // Changes the settings of the open line; false when the device refuses them.
    bool apply(const LineSettings& settings);
    // Waits at most drainMs for what was written to leave, then closes.
    void close(int drainMs);

    bool isOpen() const { return fd >= 0; }
    int descriptor() const { return fd; }
    const std::string& device() const { return path; }
    const std::string& failure() const { return why; }

    enum class Read { Data, Nothing, Gone };
    // Appends every waiting byte; Gone when the device hung up or went away.
    Read readInto(std::vector<std::uint8_t>& out);
    // Writes all of it, waiting at most a moment for room; false when the device is gone or
    // stays full (what did not fit is dropped: the console repeats its requests).
    bool write(std::span<const std::uint8_t> bytes);

  private:
    int fd = -1;
    std::string path;
    std::string why;
};

}  // namespace qtx::indi

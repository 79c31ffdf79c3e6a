// A local serial device under the driver: a POSIX terminal device, opened without blocking,
// in raw mode and for this program alone.
#pragma once

#include "line.hpp"

namespace qtx::indi {

class SerialLine final : public Line {
  public:
    ~SerialLine() override { close(0); }

    bool open(const std::string& device, const LineSettings& settings) override;
    bool apply(const LineSettings& settings) override;
    Read readInto(std::vector<std::uint8_t>& out) override { return readAvailable(out); }
    bool write(std::span<const std::uint8_t> bytes) override { return writeAll(bytes); }

  private:
    void release() override;
};

}  // namespace qtx::indi

// The traffic log of the console's port: every frame both ways, each whole on one line with
// the time its last byte passed (the lines of frame_log.hpp). The shell hands over what it
// writes and what it reads with the time; the log cuts both streams into frames, so a frame
// that arrives in pieces is one line, and bytes between frames are lines of their own.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

#include "link/frame_log.hpp"
#include "link/frame_reader.hpp"

namespace qtx {

class TrafficLog {
  public:
    TrafficLog();
    ~TrafficLog();
    TrafficLog(const TrafficLog&) = delete;
    TrafficLog& operator=(const TrafficLog&) = delete;

    // Creates the file, never over an existing one: "" when it is open, else the problem.
    std::string create(const std::string& path);
    bool isOpen() const { return file != nullptr; }

    // Seconds from any fixed start. False when the log has just failed (failure() says why)
    // and writes no more.
    bool sent(double seconds, std::span<const std::uint8_t> bytes);
    bool received(double seconds, std::span<const std::uint8_t> bytes);

    // The port closed: what is held of a frame cut short is logged as given up.
    void lineClosed(double seconds);

    const std::string& failure() const { return problem; }

  private:
    struct Stream {
        Stream(TrafficLog& log, LogDirection direction, LineEnd sender);
        FrameReader reader;
        double lastAt = 0;  // when its last bytes passed
    };
    bool take(Stream& stream, double seconds, std::span<const std::uint8_t> bytes);
    void giveUp(Stream& stream, double seconds);
    void write(const std::string& line);

    std::FILE* file = nullptr;
    std::string path;
    std::string problem;
    double now = 0;  // the time of the bytes being cut
    Stream out;
    Stream in;
};

}  // namespace qtx

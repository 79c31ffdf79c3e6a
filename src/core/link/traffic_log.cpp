#include "link/traffic_log.hpp"

#include <cerrno>
#include <system_error>

namespace qtx {

namespace {

// A frame whose rest has not come after this long is logged as given up before the next
// bytes, as the simulated QTX's line does, so that it does not swallow the frames after it.
constexpr double kGiveUpSeconds = 1.0;

std::string reasonOf(int error) {
    return std::generic_category().message(error != 0 ? error : EIO);
}

}  // namespace

TrafficLog::Stream::Stream(TrafficLog& log, LogDirection direction, LineEnd sender)
    : reader(
          [&log, direction, sender](const RxFrame& frame) {
              log.write(frameLogLine(log.now, direction, sender, frame.bytes));
          },
          [&log, direction](std::span<const std::uint8_t> bytes, const std::string& why) {
              log.write(bytesLogLine(log.now, direction, bytes, why));
          }) {}

TrafficLog::TrafficLog()
    : out(*this, LogDirection::Sent, LineEnd::Console),
      in(*this, LogDirection::Received, LineEnd::Qtx) {}

TrafficLog::~TrafficLog() {
    if (file) std::fclose(file);
}

std::string TrafficLog::create(const std::string& name) {
    if (file) return "a log is open already";
    errno = 0;
    // Exclusively: a log from an earlier session is evidence, never written over.
    file = std::fopen(name.c_str(), "wbx");
    if (!file) {
        const int error = errno;
        if (error == EEXIST) return "the log " + name + " already exists; it is never written over";
        return "cannot create the log " + name + ": " + reasonOf(error);
    }
    path = name;
    problem.clear();
    return {};
}

bool TrafficLog::sent(double seconds, std::span<const std::uint8_t> bytes) {
    return take(out, seconds, bytes);
}

bool TrafficLog::received(double seconds, std::span<const std::uint8_t> bytes) {
    return take(in, seconds, bytes);
}

bool TrafficLog::take(Stream& stream, double seconds, std::span<const std::uint8_t> bytes) {
    if (!file || bytes.empty()) return true;
    if (stream.reader.held() > 0 && seconds - stream.lastAt >= kGiveUpSeconds) {
        giveUp(stream, stream.lastAt + kGiveUpSeconds);
    }
    now = seconds;
    stream.lastAt = seconds;
    stream.reader.push(bytes);
    return file != nullptr;
}

void TrafficLog::giveUp(Stream& stream, double seconds) {
    now = seconds;
    stream.reader.flushPartial();
}

void TrafficLog::lineClosed(double seconds) {
    giveUp(out, seconds);
    giveUp(in, seconds);
}

void TrafficLog::write(const std::string& line) {
    if (!file) return;
    // A line at a time to the system, so that the log holds all up to a crash.
    errno = 0;
    if (std::fputs(line.c_str(), file) < 0 || std::fputc('\n', file) == EOF ||
        std::fflush(file) != 0) {
        problem =
            "the log " + path + " could not be written: " + reasonOf(errno) + "; it stops here";
        std::fclose(file);
        file = nullptr;
    }
}

}  // namespace qtx

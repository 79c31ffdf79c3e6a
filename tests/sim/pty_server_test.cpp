// The simulated QTX on a real pseudo-terminal: opened like a serial port, paced like one,
// and the qtx-sim program around it.
#ifdef QTX_SIM_PROGRAM

#include "pty/pty_server.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "sim_support.hpp"

namespace qtx::sim::test {
namespace {

using Clock = std::chrono::steady_clock;

int openPort(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) return fd;
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD | CSTOPB;
    cfsetispeed(&t, B115200);
    cfsetospeed(&t, B115200);
    tcsetattr(fd, TCSANOW, &t);
    return fd;
}

void writeAll(int fd, const Bytes& bytes) {
    std::size_t at = 0;
    while (at < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + at, bytes.size() - at);
        ASSERT_GT(n, 0);
        at += static_cast<std::size_t>(n);
    }
}

// Reads until `count` bytes have come or `limitMs` has passed.
Bytes readBytes(int fd, std::size_t count, int limitMs = 3000) {
    Bytes out;
    const auto end = Clock::now() + std::chrono::milliseconds(limitMs);
    while (out.size() < count) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0) break;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
        std::uint8_t buf[4096];
        const ssize_t n = ::read(fd, buf, std::min(sizeof buf, count - out.size()));
        if (n <= 0) break;
        out.insert(out.end(), buf, buf + n);
    }
    return out;
}

const Bytes kRemoteOn{0xA5, 0x09, 0x02, 0x00, 0xB0, 0x00, 0x01, 0x00, 0x01, 0x00};

TEST(PtyServer, OutputIsPacedAtTheLineSpeed) {
    // Rows of the full frame in buffer 0 until at least 2000 bytes are due.
    Bytes requests;
    QtxModel reference;
    std::size_t expected = 0;
    for (unsigned row = 0; expected < 2000; ++row) {
        const Bytes r = rowRequest(7, row, 0, 320, 0);
        requests.insert(requests.end(), r.begin(), r.end());
        reference.receive(r);
        expected += reference.takeOutput().size();
    }
    ServerOptions options;
    options.baud = 19200;
    PtyServer server({}, options);
    ASSERT_TRUE(server.start()) << server.error();
    const int fd = openPort(server.slavePath());
    ASSERT_GE(fd, 0);
    const auto begin = Clock::now();
    writeAll(fd, requests);
    const Bytes got = readBytes(fd, expected, 10000);
    const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
    ASSERT_EQ(got.size(), expected);
    const double wireTime = expected * 11.0 / 19200.0;
    EXPECT_GE(seconds, 0.9 * wireTime) << expected << " bytes";
    ::close(fd);
}

TEST(PtyServer, UnaskedFramesAndTheLog) {
    std::FILE* log = std::tmpfile();
    ASSERT_NE(log, nullptr);
    ServerOptions options;
    options.log = log;
    PtyServer server({}, options);
    ASSERT_TRUE(server.start()) << server.error();
    const int fd = openPort(server.slavePath());
    ASSERT_GE(fd, 0);
    server.withModel([](QtxModel& m) { m.requestLink(); });
    EXPECT_EQ(readBytes(fd, 6), (Bytes{0xA5, 0xFF, 0x00, 0x00, 0xA4, 0x01}));
    writeAll(fd, Bytes{0x13, 0xA5, 0xFE, 0x00, 0x00, 0xA3, 0x01});
    EXPECT_EQ(readBytes(fd, 6), (Bytes{0xA5, 0xFE, 0x00, 0x00, 0xA3, 0x01}));
    ::close(fd);
    server.stop();
    std::rewind(log);
    std::string text;
    char buf[512];
    while (std::fgets(buf, sizeof buf, log)) text += buf;
    std::fclose(log);
    for (const char* expected :
         {"-> MSG_LINK_REQUEST   a5 ff 00 00 a4 01\n", "<- (skipped)          13\n",
          "<- CMD_LINK_OK        a5 fe 00 00 a3 01\n",
          "-> MSG_LINK_OK        a5 fe 00 00 a3 01\n"}) {
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\nin\n" << text;
    }
}

}  // namespace
}  // namespace qtx::sim::test

#endif

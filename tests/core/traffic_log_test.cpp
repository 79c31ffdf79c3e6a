// The traffic log of the port: what the shell writes and reads, cut into frames on lines.
#include "link/traffic_log.hpp"

#include <gtest/gtest.h>

#include "full_disk.hpp"
#include "temp_dir.hpp"

namespace qtx {
namespace {

using Bytes = std::vector<std::uint8_t>;

// CMD_REMOTE 1; a noise byte before an acknowledgement that comes in two reads; the header
// request with the four zero bytes after it; a link frame cut short, whose rest never comes;
// and one cut short when the port closes.
TEST(TrafficLog, WholeFramesBothWaysAtTheTimeTheirLastByteCame) {
    test::TempDir dir;
    TrafficLog log;
    ASSERT_EQ(log.create(dir.path("port.log")), "");
    log.sent(0.5, Bytes{0xA5, 0x09, 0x02, 0x00, 0xB0, 0x00, 0x01, 0x00, 0x01, 0x00});
    log.received(0.512, Bytes{0x13, 0xA5, 0x06, 0x00});
    log.received(0.5145, Bytes{0x00, 0xAB, 0x00});
    log.sent(1, Bytes{0xA5, 0x04, 0x02, 0x00, 0xAB, 0x00, 0x1F, 0x00, 0x1F, 0x00, 0, 0, 0, 0});
    log.received(2, Bytes{0xA5, 0xFE, 0x00});
    log.received(3, Bytes{0xA5, 0xFE, 0x00, 0x00, 0xA3, 0x01, 0xA5});
    log.lineClosed(4);
    EXPECT_EQ(test::TempDir::readText(dir.path("port.log")),
              "    0.500000 -> CMD_REMOTE         a5 09 02 00 b0 00 01 00 01 00\n"
              "    0.512000 <- (skipped)          13\n"
              "    0.514500 <- MSG_ACK            a5 06 00 00 ab 00\n"
              "    1.000000 -> CMD_HEADER_REQ     a5 04 02 00 ab 00 1f 00 1f 00\n"
              "    1.000000 -> (skipped)          00 00 00 00\n"
              "    3.000000 <- (incomplete frame given up) a5 fe 00\n"
              "    3.000000 <- MSG_LINK_OK        a5 fe 00 00 a3 01\n"
              "    4.000000 <- (incomplete frame given up) a5\n");
}

TEST(TrafficLog, SaysWhenItCannotBeWritten) {
    test::TempDir dir;
    const Bytes end{0xA5, 0x02, 0x00, 0x00, 0xA7, 0x00};
    TrafficLog log;
    EXPECT_EQ(
        log.create(dir.path("missing/port.log")),
        "cannot create the log " + dir.path("missing/port.log") + ": No such file or directory");

    // A disk that fills up: said once, and the log stops.
    const std::string full = dir.path("full.log");
    ASSERT_EQ(log.create(full), "");
    bool first = true, later = false;
    test::onFullDisk([&] { first = log.sent(0, end), later = log.sent(1, end); });
    EXPECT_TRUE(!first && later);
    EXPECT_EQ(log.failure(),
              "the log " + full + " could not be written: File too large; it stops here");
    EXPECT_FALSE(log.isOpen());
}

}  // namespace
}  // namespace qtx

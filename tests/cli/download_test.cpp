// qtx download against the simulated QTX: the ways a run ends, and what the QTX is told.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <algorithm>

#include "cli_support.hpp"

namespace qtx::test {
namespace {

// Fast enough that a whole Download All takes a few seconds; the line is still paced.
const QString kFastLine = QStringLiteral("2000000");

int count(const std::vector<std::string>& names, const std::string& name) {
    return static_cast<int>(std::count(names.begin(), names.end(), name));
}

TEST(Download, SilentQtxEndsInCommunicationFailedAndRemoteOff) {
    Sim sim({"--silent", "--baud", kFastLine});
    ASSERT_TRUE(sim.ok());
    const Finished f = runQtx({"download", "--port", sim.device, sim.dir.filePath("m31")});
    EXPECT_EQ(f.status, 1);
    EXPECT_NE(f.err.find("\nCommunication Failed\n"), std::string::npos) << f.err;
    EXPECT_EQ(sim.lastReceived("CMD_REMOTE 0"), "CMD_REMOTE 0");
    const auto names = sim.received();
    EXPECT_EQ(names.front(), "CMD_REMOTE 1");
    EXPECT_GE(count(names, "CMD_HEADER_REQ"), 2);  // asked again before giving up
}

TEST(Download, QtxSilentAfterDownloadAllIsGivenUpOnAfterTheTimeout) {
    Sim sim({"--silent", "--baud", kFastLine});
    ASSERT_TRUE(sim.ok());
    const Finished f = runQtx(
        {"download", "--port", sim.device, "--all", "--timeout", "3", sim.dir.filePath("m31")});
    EXPECT_EQ(f.status, 1);
    EXPECT_NE(f.err.find("qtx: no answer from the QTX for 3 s\n"), std::string::npos) << f.err;
    EXPECT_EQ(sim.lastReceived("CMD_REMOTE 0"), "CMD_REMOTE 0");
    EXPECT_EQ(count(sim.received(), "CMD_DOWNLOAD_ALL"), 1);
}

TEST(Download, LineOfNoiseDoesNotKeepTheRunOpen) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    termios raw{};
    ::tcgetattr(master, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(master, TCSANOW, &raw);
    Qtx qtx({"download", "--port", ::ptsname(master), "--all", "--timeout", "1", "m31"});
    // Bytes that never make a frame, all the time.
    const std::string noise(64, '\x5A');
    QElapsedTimer clock;
    clock.start();
    while (!qtx.finished(20) && clock.elapsed() < 10000) {
        ASSERT_EQ(::write(master, noise.data(), noise.size()), static_cast<ssize_t>(noise.size()));
        char drain[256];
        while (::read(master, drain, sizeof drain) > 0) {
        }
    }
    const Finished f = qtx.wait();
    ::close(master);
    EXPECT_EQ(f.status, 1);
    EXPECT_NE(f.err.find("qtx: no answer from the QTX for 1 s\n"), std::string::npos) << f.err;
}

TEST(Download, SignalSwitchesRemoteOffAndFails) {
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        // At the real line speed, so that the transfer is under way when the signal comes.
        Sim sim({"--baud", "115200"});
        ASSERT_TRUE(sim.ok());
        Qtx qtx({"download", "--port", sim.device, "--all", sim.dir.filePath("m31")});
        ASSERT_TRUE(qtx.awaitError("image 1 of "));
        qtx.signal(signal);
        const Finished f = qtx.wait();
        EXPECT_EQ(f.status, 128 + signal);
        EXPECT_TRUE(f.err.ends_with("\nqtx: interrupted\n")) << f.err;
        EXPECT_EQ(sim.lastReceived("CMD_REMOTE 0"), "CMD_REMOTE 0");
    }
}

TEST(Download, LostDeviceEndsTheRun) {
    Sim sim({"--baud", "115200"});
    ASSERT_TRUE(sim.ok());
    Qtx qtx({"download", "--port", sim.device, "--all", sim.dir.filePath("m31")});
    ASSERT_TRUE(qtx.awaitError("image 1 of "));
    sim.kill();
    const Finished f = qtx.wait(5000);
    EXPECT_EQ(f.status, 1);
    EXPECT_NE(f.err.find("COM1 (" + sim.device.toStdString() + ") was disconnected.\n"),
              std::string::npos)
        << f.err;
}

}  // namespace
}  // namespace qtx::test

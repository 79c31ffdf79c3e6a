// Network ports: their names, what a failed opening says, and the host's port through a real
// ser2net in front of a pseudo-terminal of the test's own (its settings read back with
// tcgetattr, the server stopped and started again under it).
#include "network_port.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include "ser2net.hpp"
#include "shell_host.hpp"

namespace qtx::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

template <class Done>
bool pumpUntil(Done done, int timeoutMs = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

TEST(NetworkNames, ParsedOnlyWhenWhole) {
    using K = NetworkAddress::Kind;
    const std::pair<const char*, NetworkAddress> good[] = {
        {"rfc2217://scope.lan:2000", {K::Rfc2217, "scope.lan", 2000}},
        {"tcp://192.168.1.5:4001", {K::Raw, "192.168.1.5", 4001}},
        {"rfc2217://[::1]:65535/", {K::Rfc2217, "::1", 65535}},
        {"TCP://Scope:1", {K::Raw, "scope", 1}},
    };
    for (const auto& [name, address] : good) {
        EXPECT_EQ(parseNetworkName(name), address) << name;
        EXPECT_EQ(parseNetworkName(networkName(address)), address) << name;
    }
    for (const char* bad : {"rfc2217://scope", "tcp://scope:0", "tcp://scope:65536", "tcp://:2000",
                            "tcp://me@scope:2000", "tcp://scope:2000/x", "tcp://scope:2000?x",
                            "telnet://scope:2000", "/dev/ttyUSB0", "rfc2217:/scope:2000"}) {
        EXPECT_EQ(parseNetworkName(bad), std::nullopt) << bad;
    }
    EXPECT_TRUE(isNetworkName("rfc2217://scope"));  // meant as one, named wrongly
    EXPECT_FALSE(isNetworkName("/dev/ttyUSB0"));
}

// A server that does one thing with each connection.
TEST(NetworkPortTest, FailedOpeningSaysWhy) {
    enum class Server { None, Closes, Silent, RefusesControl };
    const struct {
        Server server;
        NetworkAddress::Kind kind;
        const char* why;  // %1: the port
    } cases[] = {
        {Server::None, NetworkAddress::Kind::Raw,
         "connection refused: nothing listens on port %1 of 127.0.0.1; is ser2net running "
         "there, and the tunnel up?"},
        {Server::Closes, NetworkAddress::Kind::Rfc2217,
         "the server closed the connection at once; the port may be in use by another client."},
        {Server::Silent, NetworkAddress::Kind::Rfc2217,
         "no RFC 2217 answer within 0.3 s; if the server gives the port raw, name it "
         "tcp://HOST:PORT."},
        {Server::RefusesControl, NetworkAddress::Kind::Rfc2217,
         "the server refused serial control (RFC 2217); if it gives the port raw, name it "
         "tcp://HOST:PORT."},
    };
    for (const auto& c : cases) {
        QTcpServer server;
        quint16 port = freeLoopbackPort();
        if (c.server != Server::None) {
            ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
            port = server.serverPort();
            QObject::connect(&server, &QTcpServer::newConnection, [&] {
                QTcpSocket* peer = server.nextPendingConnection();
                if (c.server == Server::Closes) peer->close();
                if (c.server == Server::RefusesControl) peer->write("\xFF\xFE\x2C");
            });
        }
        NetworkPort net;
        EXPECT_FALSE(net.open({c.kind, "127.0.0.1", port}, {}, 300));
        QString why = QString::fromLatin1(c.why);
        if (why.contains(u"%1")) why = why.arg(port);
        EXPECT_EQ(net.failure(), why);
        EXPECT_FALSE(net.isOpen());
    }
}

// The test's own pseudo-terminal, standing for the serial device at the telescope.
struct Pty {
    Pty() {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        grantpt(master);
        unlockpt(master);
        path = QString::fromLatin1(ptsname(master));
        // Held open, so that the master never sees a hang-up between ser2net's openings.
        slave = ::open(ptsname(master), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios t{};
        tcgetattr(slave, &t);
        cfmakeraw(&t);
        tcsetattr(slave, TCSANOW, &t);
        ::fcntl(master, F_SETFL, O_NONBLOCK);
    }
    ~Pty() {
        ::close(slave);
        ::close(master);
    }
    // Speed and stop bits as ser2net last set them.
    std::pair<speed_t, bool> line() const {
        termios t{};
        tcgetattr(slave, &t);
        return {cfgetospeed(&t), (t.c_cflag & CSTOPB) != 0};
    }
    Bytes read() const {
        Bytes got(256);
        const ssize_t n = ::read(master, got.data(), got.size());
        got.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        return got;
    }
    int master = -1, slave = -1;
    QString path;
};

// The port half of a host; the window half does nothing.
struct PortHost : ShellHost {
    explicit PortHost(PortMap ports) : ShellHost(std::move(ports), {"--com1/--com2", ""}) {}
    void setText(TextBox, const std::string&, bool) override {}
    void messageBox(const std::string&) override {}
    std::string prompt(const std::string&, const std::string&, const std::string&) override {
        return {};
    }
    void setTurboColour(Colour) override {}
    void setPointer(Pointer) override {}
    ContrastTexts runContrastDialog(const ContrastTexts&, const Histogram&) override { return {}; }
    std::string fileDialog(bool, const std::string&) override { return {}; }
    SurfaceGeometry surfaceGeometry() override { return {}; }
    void setBitmapBits(std::span<const std::uint8_t>) override {}
    void setPixel(int, int, Colour) override {}
    void repaintPicture() override {}
    void showProgress(const Progress&) override {}
    void hideProgress() override {}
};

TEST(NetworkPortTest, ThroughSer2netSettingsBytesLossAndReconnection) {
    Pty pty;
    Ser2net ser2net(pty.path, QStringLiteral("9600n81"));
    ASSERT_TRUE(ser2net.start()) << "ser2net (scripts/setup.sh installs it)";
    PortHost host(PortMap{ser2net.rfc2217(), ser2net.raw()});
    std::vector<std::pair<int, QString>> lost;
    QObject::connect(&host, &ShellHost::deviceLost,
                     [&](int com, const QString& device) { lost.emplace_back(com, device); });
    const auto lineIs = [&](speed_t speed, bool twoStops) {
        return pumpUntil([&] { return pty.line() == std::pair{speed, twoStops}; }, 3000);
    };

    // RFC 2217 sets the line on opening and on every change; raw TCP leaves ser2net's own.
    ASSERT_TRUE(host.openPort(1, "115200,N,8,2")) << host.portFailureDetail();
    EXPECT_TRUE(lineIs(B115200, true));
    host.applySettings("57600,N,8,1");
    EXPECT_TRUE(lineIs(B57600, false));
    for (const int com : {1, 2}) {
        if (com == 2) {
            // Both ports serve one device, which ser2net takes a moment to let go of.
            host.closePort();
            pumpUntil([] { return false; }, 300);
        }
        ASSERT_TRUE(host.openPort(com, "115200,N,8,2")) << host.portFailureDetail();
        if (com == 2) {
            host.applySettings("57600,N,8,2");
            EXPECT_TRUE(lineIs(B9600, false));
        }
        // Every byte through unchanged both ways, IAC and CR NUL included.
        const Bytes out{0x01, 0xFF, 0x0D, 0x00, 0xFF, 0xFF, 0x0A};
        host.write(out);
        Bytes atDevice;
        EXPECT_TRUE(pumpUntil([&] {
            const Bytes got = pty.read();
            atDevice.insert(atDevice.end(), got.begin(), got.end());
            return atDevice.size() >= out.size();
        }));
        EXPECT_EQ(atDevice, out) << com;
        const Bytes in{0xFF, 0x00, 0x0D, 0xFF, 0xFA, 0xF0};
        ASSERT_EQ(::write(pty.master, in.data(), in.size()), static_cast<ssize_t>(in.size()));
        Bytes atHost;
        EXPECT_TRUE(pumpUntil([&] {
            const Bytes got = host.readAll();
            atHost.insert(atHost.end(), got.begin(), got.end());
            return atHost.size() >= in.size();
        }));
        EXPECT_EQ(atHost, in) << com;
    }

    // The server goes away: the port closes and says so, as a pulled-out adapter does.
    ser2net.stop();
    ASSERT_TRUE(pumpUntil([&] { return lost.size() == 1; }));
    EXPECT_EQ(lost[0], std::pair(2, ser2net.raw()));
    EXPECT_FALSE(host.portIsOpen());
    EXPECT_FALSE(host.openPort(1, "115200,N,8,2"));
    EXPECT_TRUE(QString::fromStdString(host.portFailureDetail())
                    .startsWith(ser2net.rfc2217() + ": connection refused"))
        << host.portFailureDetail();
    // Back again, and Establish Link opens it.
    ASSERT_TRUE(ser2net.start());
    EXPECT_TRUE(host.openPort(1, "115200,N,8,2")) << host.portFailureDetail();
    EXPECT_TRUE(lineIs(B115200, true));
    host.closePort();
    EXPECT_EQ(lost.size(), 1);
}

}  // namespace
}  // namespace qtx::test

// Network ports: the chooser, failed openings, and the host's port through a real ser2net
// in front of a pseudo-terminal of the test's own. That every byte passes is the command line's.
#include "network_port.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include "main_window.hpp"
#include "port_choice.hpp"
#include "port_dialog.hpp"
#include "ser2net.hpp"
#include "shell_host.hpp"
#include "temp_dir.hpp"

namespace qtx::test {
namespace {

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

// The chooser on a machine without serial ports: the network port shown is the one in use,
// else the last one chosen, and it is what Use as COMn takes when its box is ticked.
TEST(PortDialogTest, NetworkPortEnteredRememberedAndChosen) {
    TempDir dir;
    QSettings settings(QString::fromStdString(dir.path("qtx.conf")), QSettings::IniFormat);
    rememberPort(settings, 2, "rfc2217://[::1]:2000");
    rememberPort(settings, 2, "/dev/ttyUSB0");  // the network port is kept all the same
    const struct {
        PortMap current;
        QString shown;   // ticked?, host and port as the dialog opens
        int kind;        // the kind chosen, -1 none
        QString host;    // the host entered, "" none
        QString chosen;  // by Use as COM2; "" when it cannot be used
    } cases[] = {
        {{"/dev/ttyS0", "tcp://scope:4001"}, "0 scope:4001", -1, "", "tcp://scope:4001"},
        {{"rfc2217://a:1", "/dev/ttyS1"}, "1 a:1", 1, "b.lan", "tcp://b.lan:1"},
        {{"/dev/ttyS0", "/dev/ttyS1"}, "0 ::1:2000", -1, "", "rfc2217://[::1]:2000"},
        {{"/dev/ttyS0", "/dev/ttyS1"}, "0 ::1:2000", 0, "my scope", ""},
    };
    for (const auto& c : cases) {
        PortDialog dialog([] { return PortListing{}; }, c.current, rememberedNetworkPort(settings));
        auto* box = dialog.findChild<QGroupBox*>("grpnetwork");
        auto* host = dialog.findChild<QLineEdit*>("txtnethost");
        EXPECT_EQ(QString("%1 %2:%3")
                      .arg(box->isChecked())
                      .arg(host->text())
                      .arg(dialog.findChild<QSpinBox*>("txtnetport")->value()),
                  c.shown);
        box->setChecked(true);
        if (c.kind >= 0) dialog.findChild<QComboBox*>("cbonetkind")->setCurrentIndex(c.kind);
        if (!c.host.isEmpty()) host->setText(c.host);
        dialog.findChild<QPushButton*>("cmdcom2")->click();
        EXPECT_EQ(dialog.choice() ? dialog.choice()->device : "", c.chosen);
        EXPECT_EQ(dialog.choice() ? dialog.choice()->portNumber : 2, 2);
    }
}

// A device the list cannot show is typed; COM1 on such a device stands there as the dialog
// opens, and a port clicked in the list wins over it.
TEST(PortDialogTest, DevicePathTyped) {
    PortListing listing;
    listing.ports.push_back(PortEntry{});
    listing.ports.back().device = "/dev/ttyUSB0";
    PortDialog dialog([&] { return listing; }, {"/dev/pts/7", "/dev/ttyS1"});
    auto* typed = dialog.findChild<QLineEdit*>("txtdevicepath");
    EXPECT_EQ(typed->text(), "/dev/pts/7");
    typed->setText(" /dev/serial/by-id/usb-FTDI ");
    dialog.findChild<QPushButton*>("cmdcom2")->click();
    EXPECT_EQ(dialog.choice() ? dialog.choice()->device : "", "/dev/serial/by-id/usb-FTDI");
}

// A server that does one thing with each connection.
TEST(NetworkPortTest, FailedOpeningSaysWhy) {
    enum class Server { None, Closes, Silent, RefusesControl };
    const struct {
        Server server;
        NetworkAddress::Kind kind;
        const char* why;  // how it starts
    } cases[] = {
        {Server::None, NetworkAddress::Kind::Raw, "connection refused: nothing listens on port "},
        {Server::Closes, NetworkAddress::Kind::Rfc2217, "the server closed the connection at once"},
        {Server::Silent, NetworkAddress::Kind::Rfc2217, "no RFC 2217 answer within 0.3 s"},
        {Server::RefusesControl, NetworkAddress::Kind::Rfc2217,
         "the server refused serial control"},
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
        EXPECT_TRUE(net.failure().startsWith(c.why)) << net.failure().toStdString();
        EXPECT_FALSE(net.isOpen());
    }
}

// The test's own pseudo-terminal, standing for the serial device at the telescope.
struct Pty {
    Pty() {
        grantpt(master), unlockpt(master);
        // Held open, so that the master never sees a hang-up between ser2net's openings.
        slave = ::open(ptsname(master), O_RDWR | O_NOCTTY | O_NONBLOCK);
    }
    ~Pty() { ::close(slave), ::close(master); }
    // Speed and stop bits as ser2net last set them.
    std::pair<speed_t, bool> line() const {
        termios t{};
        tcgetattr(slave, &t);
        return {cfgetospeed(&t), (t.c_cflag & CSTOPB) != 0};
    }
    int master = posix_openpt(O_RDWR | O_NOCTTY), slave = -1;
    QString path = QString::fromLatin1(ptsname(master));
};

TEST(NetworkPortTest, ThroughSer2netSettingsLossAndReconnection) {
    Pty pty;
    Ser2net ser2net(pty.path, QStringLiteral("9600n81"));
    ASSERT_TRUE(ser2net.start()) << "ser2net (scripts/setup.sh installs it)";
    // The window's host, its ports set after the window opened a missing COM1 on its own.
    MainWindow window(PortMap{"/nonexistent", "/nonexistent"});
    ShellHost& host = window.host();
    host.setDevice(1, ser2net.rfc2217());
    host.setDevice(2, ser2net.raw());
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
    // Both ports serve one device, which ser2net takes a moment to let go of.
    host.closePort();
    pumpUntil([] { return false; }, 300);
    ASSERT_TRUE(host.openPort(2, "115200,N,8,2")) << host.portFailureDetail();
    host.applySettings("57600,N,8,2");
    EXPECT_TRUE(lineIs(B9600, false));

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

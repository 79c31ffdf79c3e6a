// A real ser2net (version 4) in front of a serial device, on free loopback ports: one with
// RFC 2217 and one raw, configured as the README advises. Stopped by its process id.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>

namespace qtx::test {

// A loopback port nothing listens on just now.
inline quint16 freeLoopbackPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

class Ser2net {
  public:
    // `speed` is the line's own setting ("9600n81"), the one the raw port keeps. `tuned`: as
    // the README advises (no waiting for more bytes, no Nagle); else ser2net's defaults.
    explicit Ser2net(const QString& device, const QString& speed = QStringLiteral("115200n82"),
                     bool tuned = true)
        : rfcPort(freeLoopbackPort()), rawPort(freeLoopbackPort()) {
        QFile config(dir.filePath(QStringLiteral("ser2net.yaml")));
        config.open(QIODevice::WriteOnly);
        const QString tcp = tuned ? QStringLiteral("tcp(nodelay)") : QStringLiteral("tcp");
        for (const auto& [accepter, port] :
             {std::pair{QStringLiteral("telnet(rfc2217),") + tcp, rfcPort},
              std::pair{tcp, rawPort}}) {
            config.write(QStringLiteral("connection: &port%1\n"
                                        "  accepter: %2,127.0.0.1,%1\n"
                                        "  connector: serialdev,%3,%4,local\n")
                             .arg(port)
                             .arg(accepter, device, speed)
                             .toUtf8());
            if (tuned) config.write("  options:\n    chardelay: false\n");
        }
    }
    ~Ser2net() { stop(); }

    // Starts it, again on the same ports; true once it listens on both.
    bool start() {
        const QString program = QStandardPaths::findExecutable(
            QStringLiteral("ser2net"),
            qEnvironmentVariable("PATH").split(u':') + QStringList{"/usr/sbin", "/sbin"});
        if (program.isEmpty()) return false;  // scripts/setup.sh installs it
        process.start(program, {QStringLiteral("-n"), QStringLiteral("-c"),
                                dir.filePath(QStringLiteral("ser2net.yaml"))});
        if (!process.waitForStarted()) return false;
        QElapsedTimer clock;
        clock.start();
        while (!(listening(rfcPort) && listening(rawPort))) {
            if (clock.elapsed() > 5000 || process.state() != QProcess::Running) {
                // What it said, when it would not start.
                std::fputs(process.readAllStandardError().constData(), stderr);
                return false;
            }
            QThread::msleep(20);
        }
        return true;
    }

    void stop() {
        if (process.state() == QProcess::NotRunning) return;
        process.terminate();  // SIGTERM to its pid
        if (!process.waitForFinished(3000)) {
            process.kill();
            process.waitForFinished();
        }
    }

    QString rfc2217() const { return QStringLiteral("rfc2217://127.0.0.1:%1").arg(rfcPort); }
    QString raw() const { return QStringLiteral("tcp://127.0.0.1:%1").arg(rawPort); }

  private:
    // From the kernel's table, so that the test does not connect (ser2net would open the
    // device) nor bind the port (ser2net could then fail to).
    static bool listening(quint16 port) {
        QFile table(QStringLiteral("/proc/net/tcp"));
        if (!table.open(QIODevice::ReadOnly)) return false;
        const QByteArray entry = QStringLiteral(" 0100007F:%1 00000000:0000 0A ")
                                     .arg(port, 4, 16, QChar(u'0'))
                                     .toUpper()
                                     .toLatin1();
        return table.readAll().contains(entry);
    }

    QTemporaryDir dir;
    quint16 rfcPort, rawPort;
    QProcess process;
};

}  // namespace qtx::test

#include "network_port.hpp"

#include <QEventLoop>
#include <QTimer>
#include <QUrl>

#ifdef Q_OS_LINUX
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

namespace qtx {

namespace {

const QString kRfc2217Scheme = QStringLiteral("rfc2217");
const QString kRawScheme = QStringLiteral("tcp");

telnet::LineSettings lineSettings(const SerialSettings& s) {
    telnet::LineSettings line;
    line.baud = static_cast<std::uint32_t>(s.baudRate);
    line.dataBits = static_cast<std::uint8_t>(s.dataBits);
    switch (s.parity) {
        case QSerialPort::EvenParity:
            line.parity = telnet::Parity::Even;
            break;
        case QSerialPort::OddParity:
            line.parity = telnet::Parity::Odd;
            break;
        case QSerialPort::MarkParity:
            line.parity = telnet::Parity::Mark;
            break;
        case QSerialPort::SpaceParity:
            line.parity = telnet::Parity::Space;
            break;
        default:
            line.parity = telnet::Parity::None;
            break;
    }
    line.stopBits = s.stopBits == QSerialPort::OneStop          ? telnet::StopBits::One
                    : s.stopBits == QSerialPort::OneAndHalfStop ? telnet::StopBits::OneAndHalf
                                                                : telnet::StopBits::Two;
    return line;
}

}  // namespace

bool isNetworkName(const QString& device) {
    return device.startsWith(kRfc2217Scheme + QStringLiteral("://"), Qt::CaseInsensitive) ||
           device.startsWith(kRawScheme + QStringLiteral("://"), Qt::CaseInsensitive);
}

std::optional<NetworkAddress> parseNetworkName(const QString& device) {
    if (!isNetworkName(device)) return std::nullopt;
    const QUrl url(device, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty() || url.port() < 1 || !url.userInfo().isEmpty() ||
        !(url.path().isEmpty() || url.path() == u"/") || url.hasQuery() || url.hasFragment()) {
        return std::nullopt;
    }
    NetworkAddress address;
    address.kind =
        url.scheme() == kRawScheme ? NetworkAddress::Kind::Raw : NetworkAddress::Kind::Rfc2217;
    address.host = url.host();
    address.port = static_cast<quint16>(url.port());
    return address;
}

QString networkName(const NetworkAddress& address) {
    const QString host =
        address.host.contains(u':') ? u'[' + address.host + u']' : address.host;  // IPv6
    return QStringLiteral("%1://%2:%3")
        .arg(address.kind == NetworkAddress::Kind::Raw ? kRawScheme : kRfc2217Scheme, host)
        .arg(address.port);
}

NetworkPort::NetworkPort(QObject* parent) : QObject(parent) {
    socket.setParent(this);
    connect(&socket, &QTcpSocket::connected, this, &NetworkPort::onConnected);
    connect(&socket, &QTcpSocket::readyRead, this, &NetworkPort::onReadyRead);
    connect(&socket, &QTcpSocket::errorOccurred, this, &NetworkPort::onError);
    connect(&socket, &QTcpSocket::disconnected, this, &NetworkPort::onDisconnected);
}

bool NetworkPort::open(const NetworkAddress& to, const SerialSettings& settings, int timeoutMs) {
    close(0);
    address = to;
    decoder = {};
    received.clear();
    why.clear();
    connected = false;
    settled = false;
    phase = Phase::Opening;
    socket.connectToHost(address.host, address.port);
    bool timedOut = false;
    if (!settled) {
        // The window is drawn meanwhile, but no click or key reaches the console half-way
        // through opening its port.
        QEventLoop loop;
        waiting = &loop;
        QTimer::singleShot(timeoutMs, &loop, [&] {
            timedOut = true;
            loop.quit();
        });
        loop.exec(QEventLoop::ExcludeUserInputEvents);
        waiting = nullptr;
    }
    // Closed meanwhile, or the program is ending (which ends every event loop): no reason
    // to give.
    if (phase != Phase::Opening || (!settled && !timedOut)) {
        phase = Phase::Closed;
        socket.abort();
        return false;
    }
    if (!settled) {
        const QString seconds = QString::number(timeoutMs / 1000.0);
        why = connected ? QStringLiteral(
                              "no RFC 2217 answer within %1 s; if the server gives the port raw, "
                              "name it tcp://HOST:PORT.")
                              .arg(seconds)
                        : QStringLiteral(
                              "no answer from %1 within %2 s; check the address, the network, "
                              "the tunnel or the VPN.")
                              .arg(address.host, seconds);
    }
    if (!why.isEmpty()) {
        phase = Phase::Closed;
        socket.abort();
        return false;
    }
    phase = Phase::Open;
    if (address.kind == NetworkAddress::Kind::Rfc2217) applySettings(settings);
    if (!received.empty()) {
        // What came with the negotiation is announced as anything later is.
        QTimer::singleShot(0, this, [this] {
            if (isOpen() && !received.empty()) emit readyRead();
        });
    }
    return true;
}

void NetworkPort::close(int drainMs) {
    ++generation;  // a loss still to be told is no longer news
    const Phase was = phase;
    phase = Phase::Closed;
    if (was == Phase::Opening) settle(QString());
    if (was == Phase::Open && socket.bytesToWrite() > 0) socket.waitForBytesWritten(drainMs);
    socket.disconnectFromHost();  // an orderly end when all has gone, else cut off
    socket.abort();
    received.clear();
}

void NetworkPort::applySettings(const SerialSettings& settings) {
    if (isOpen() && address.kind == NetworkAddress::Kind::Rfc2217) {
        send(telnet::comPortSettings(lineSettings(settings)));
    }
}

void NetworkPort::write(std::span<const std::uint8_t> bytes) {
    if (!isOpen()) return;
    if (address.kind == NetworkAddress::Kind::Raw) {
        socket.write(reinterpret_cast<const char*>(bytes.data()),
                     static_cast<qint64>(bytes.size()));
        socket.flush();
        return;
    }
    telnet::Bytes wire;
    telnet::appendData(bytes, wire);
    send(wire);
}

std::vector<std::uint8_t> NetworkPort::readAll() {
    if (!isOpen()) return {};
    return std::exchange(received, {});
}

void NetworkPort::send(const telnet::Bytes& bytes) {
    socket.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    // Handed to the system now rather than on the next pass of the event loop.
    socket.flush();
}

void NetworkPort::onConnected() {
    connected = true;
    // Requests are a few bytes each, and each waits for its answer: no coalescing.
    socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    if (address.kind == NetworkAddress::Kind::Rfc2217) {
        send(telnet::clientOpening());
    } else {
        settle(QString());
    }
}

void NetworkPort::onReadyRead() {
    if (phase == Phase::Closed) return;
    const QByteArray bytes = socket.readAll();
#ifdef Q_OS_LINUX
    // A server that holds back the rest of a reply until its first piece is acknowledged
    // (Nagle's algorithm, ser2net's default) would otherwise wait for our delayed
    // acknowledgement, up to 40 ms a reply. The system clears this after a while, so it is
    // set again on every read.
    const int on = 1;
    ::setsockopt(static_cast<int>(socket.socketDescriptor()), IPPROTO_TCP, TCP_QUICKACK, &on,
                 sizeof on);
#endif
    const auto in = std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                              static_cast<std::size_t>(bytes.size()));
    const std::size_t before = received.size();
    if (address.kind == NetworkAddress::Kind::Raw) {
        received.insert(received.end(), in.begin(), in.end());
    } else {
        telnet::Bytes replies;
        decoder.decode(in, received, replies);
        if (!replies.empty()) send(replies);
        if (phase == Phase::Opening) {
            if (decoder.comPort() == telnet::Decoder::ComPort::Accepted) settle(QString());
            if (decoder.comPort() == telnet::Decoder::ComPort::Refused) {
                settle(QStringLiteral(
                    "the server refused serial control (RFC 2217); if it gives the port "
                    "raw, name it tcp://HOST:PORT."));
            }
        }
    }
    if (phase == Phase::Open && received.size() > before) emit readyRead();
}

void NetworkPort::onError(QAbstractSocket::SocketError error) {
    if (phase == Phase::Open) {
        loseConnection(socket.errorString());
        return;
    }
    if (phase != Phase::Opening) return;
    const QString port = QString::number(address.port);
    switch (error) {
        case QAbstractSocket::ConnectionRefusedError:
            settle(QStringLiteral("connection refused: nothing listens on port %1 of %2; is "
                                  "ser2net running there, and the tunnel up?")
                       .arg(port, address.host));
            break;
        case QAbstractSocket::HostNotFoundError:
            settle(QStringLiteral("no such host %1.").arg(address.host));
            break;
        case QAbstractSocket::RemoteHostClosedError:
            if (connected) {
                onDisconnected();
                break;
            }
            [[fallthrough]];
        default:
            settle(QStringLiteral("cannot connect to %1 (%2).")
                       .arg(address.host, socket.errorString()));
            break;
    }
}

void NetworkPort::onDisconnected() {
    // A connection that never was ends with an error of its own, which says why.
    if (phase == Phase::Opening && connected) {
        settle(QStringLiteral(
            "the server closed the connection at once; the port may be in use by another "
            "client."));
    } else if (phase == Phase::Open) {
        loseConnection(QStringLiteral("the server closed the connection."));
    }
}

void NetworkPort::settle(const QString& failure) {
    if (settled) return;
    settled = true;
    why = failure;
    if (waiting) waiting->quit();
}

void NetworkPort::loseConnection(const QString& failure) {
    phase = Phase::Closed;
    why = failure;
    received.clear();
    // Not inside the socket's own signal: it may not be ready to be reset there.
    QTimer::singleShot(0, this, [this, told = generation] {
        if (generation != told) return;  // closed or opened again meanwhile
        socket.abort();
        emit lost();
    });
}

}  // namespace qtx

#include "network_port.hpp"

#include <QEventLoop>
#include <QTimer>

#ifdef Q_OS_UNIX
#include "tcp_tuning.hpp"
#endif

namespace qtx {

namespace {

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
    session = NetworkSession(address.kind, lineSettings(settings));
    received.clear();
    why.clear();
    settled = false;
    phase = Phase::Opening;
    socket.connectToHost(QString::fromStdString(address.host), address.port);
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
    if (!settled) session.timedOut();
    if (session.state() != NetworkSession::State::Open) {
        why = QString::fromStdString(
            describeFailure(session.failure().value_or(NetworkFailure::Other), address, timeoutMs,
                            socket.errorString().toStdString()));
        phase = Phase::Closed;
        socket.abort();
        return false;
    }
    phase = Phase::Open;
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
    if (was == Phase::Opening) settle();
    if (was == Phase::Open && socket.bytesToWrite() > 0) socket.waitForBytesWritten(drainMs);
    socket.disconnectFromHost();  // an orderly end when all has gone, else cut off
    socket.abort();
    received.clear();
}

void NetworkPort::applySettings(const SerialSettings& settings) {
    if (isOpen()) send(session.settings(lineSettings(settings)));
}

void NetworkPort::write(std::span<const std::uint8_t> bytes) {
    if (!isOpen()) return;
    telnet::Bytes wire;
    session.encode(bytes, wire);
    send(wire);
}

std::vector<std::uint8_t> NetworkPort::readAll() {
    if (!isOpen()) return {};
    return std::exchange(received, {});
}

void NetworkPort::send(const telnet::Bytes& bytes) {
    if (bytes.empty()) return;
    socket.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    // Handed to the system now rather than on the next pass of the event loop.
    socket.flush();
}

void NetworkPort::onConnected() {
    // Requests are a few bytes each, and each waits for its answer: no coalescing.
    socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    send(session.connected());
    if (session.state() == NetworkSession::State::Open) settle();
}

void NetworkPort::onReadyRead() {
    if (phase == Phase::Closed) return;
    const QByteArray bytes = socket.readAll();
#ifdef Q_OS_UNIX
    posix::acknowledgeAtOnce(static_cast<int>(socket.socketDescriptor()));
#endif
    const auto in = std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                              static_cast<std::size_t>(bytes.size()));
    const std::size_t before = received.size();
    telnet::Bytes replies;
    session.received(in, received, replies);
    send(replies);
    const NetworkSession::State state = session.state();
    if (phase == Phase::Opening) {
        if (state == NetworkSession::State::Open || state == NetworkSession::State::Failed) {
            settle();
        }
    } else if (state == NetworkSession::State::Failed) {
        loseConnection(QString::fromStdString(describeFailure(*session.failure(), address)));
    } else if (received.size() > before) {
        emit readyRead();
    }
}

void NetworkPort::onError(QAbstractSocket::SocketError error) {
    if (phase == Phase::Open) {
        loseConnection(socket.errorString());
        return;
    }
    if (phase != Phase::Opening) return;
    switch (error) {
        case QAbstractSocket::ConnectionRefusedError:
            session.fail(NetworkFailure::Refused);
            break;
        case QAbstractSocket::HostNotFoundError:
            session.fail(NetworkFailure::NoSuchHost);
            break;
        case QAbstractSocket::RemoteHostClosedError:
            session.closed();
            [[fallthrough]];
        default:
            session.fail(NetworkFailure::Other);  // unless it failed already
            break;
    }
    settle();
}

void NetworkPort::onDisconnected() {
    // A connection that never was ends with an error of its own, which says why.
    if (phase == Phase::Opening) {
        session.closed();
        if (session.state() == NetworkSession::State::Failed) settle();
    } else if (phase == Phase::Open) {
        loseConnection(QStringLiteral("the server closed the connection."));
    }
}

void NetworkPort::settle() {
    if (settled) return;
    settled = true;
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

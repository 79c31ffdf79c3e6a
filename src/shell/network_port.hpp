// A serial port served over the network, as ser2net at a telescope does: telnet with the
// serial control of RFC 2217 (the line settings travel with the data) or raw TCP (bytes as
// they are; the server's own settings hold). Named rfc2217://HOST:PORT or tcp://HOST:PORT
// wherever a device is named.
#pragma once

#include <QObject>
#include <QTcpSocket>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "link/telnet.hpp"
#include "serial_settings.hpp"

class QEventLoop;

namespace qtx {

struct NetworkAddress {
    enum class Kind { Rfc2217, Raw };
    Kind kind = Kind::Rfc2217;
    QString host;
    quint16 port = 0;
    friend bool operator==(const NetworkAddress&, const NetworkAddress&) = default;
};

// Whether `device` is meant as a network port (it starts with rfc2217:// or tcp://), whether
// or not the rest is right.
bool isNetworkName(const QString& device);
// Nothing unless the whole name is a scheme, a host (an IPv6 address in brackets) and a
// port from 1 to 65535.
std::optional<NetworkAddress> parseNetworkName(const QString& device);
QString networkName(const NetworkAddress& address);

class NetworkPort : public QObject {
    Q_OBJECT
  public:
    // How long opening may take: the connection, and for RFC 2217 the server's consent to
    // serial control.
    static constexpr int kOpenMs = 4000;

    explicit NetworkPort(QObject* parent = nullptr);

    // Connects, and for RFC 2217 negotiates and sends the settings. Events keep running
    // meanwhile, user input aside, so that the window is drawn; false (with failure()) when
    // the server refused, could not be reached or did not answer within `timeoutMs`.
    bool open(const NetworkAddress& address, const SerialSettings& settings,
              int timeoutMs = kOpenMs);
    // Waits up to `drainMs` for what is still to be sent, then disconnects.
    void close(int drainMs);
    bool isOpen() const { return phase == Phase::Open; }
    // Sent to the server at once over RFC 2217; raw TCP has nothing to send them with.
    void applySettings(const SerialSettings& settings);
    // Every byte is taken (what the network cannot take yet waits in the socket).
    void write(std::span<const std::uint8_t> bytes);
    std::vector<std::uint8_t> readAll();
    // Why the last opening failed or the connection was lost, one line without the name.
    QString failure() const { return why; }

  signals:
    void readyRead();
    // The server or the network went away; the port is closed already.
    void lost();

  private:
    enum class Phase { Closed, Opening, Open };
    void onConnected();
    void onReadyRead();
    void onError(QAbstractSocket::SocketError error);
    void onDisconnected();
    void settle(const QString& failure);
    void loseConnection(const QString& failure);
    void send(const telnet::Bytes& bytes);

    QTcpSocket socket;
    NetworkAddress address;
    telnet::Decoder decoder;
    Phase phase = Phase::Closed;
    bool connected = false;
    bool settled = false;
    int generation = 0;  // counts openings and closings
    QEventLoop* waiting = nullptr;
    std::vector<std::uint8_t> received;  // data not yet taken
    QString why;
};

}  // namespace qtx

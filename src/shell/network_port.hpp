// A serial port served over the network, as ser2net at a telescope does: telnet with the
// serial control of RFC 2217 (the line settings travel with the data) or raw TCP (bytes as
// they are; the server's own settings hold). Named rfc2217://HOST:PORT or tcp://HOST:PORT
// wherever a device is named. The names, the negotiation and the failures' words are the
// wire layer's (NetworkSession), shared with the INDI driver; this is the Qt socket under it.
#pragma once

#include <QObject>
#include <QTcpSocket>
#include <cstdint>
#include <span>
#include <vector>

#include "link/network_session.hpp"
#include "serial_settings.hpp"

class QEventLoop;

namespace qtx {

class NetworkPort : public QObject {
    Q_OBJECT
  public:
    // How long opening may take: the connection, and for RFC 2217 the server's consent to
    // serial control.
    static constexpr int kOpenMs = kNetworkOpenMs;

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
    // The opening is over: open, or failed as the session says.
    void settle();
    void loseConnection(const QString& failure);
    void send(const telnet::Bytes& bytes);

    QTcpSocket socket;
    NetworkAddress address;
    NetworkSession session;
    Phase phase = Phase::Closed;
    bool settled = false;
    int generation = 0;  // counts openings and closings
    QEventLoop* waiting = nullptr;
    std::vector<std::uint8_t> received;  // data not yet taken
    QString why;
};

}  // namespace qtx

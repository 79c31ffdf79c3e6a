// A serial port served over the network (ser2net at a telescope), without the socket: the name
// it goes by, the steps of opening it, why an opening failed, and the bytes both ways once it
// is open. The window's and qtx's port (Qt Network) and the INDI driver's (POSIX sockets, on
// libindi's loop) both drive one of these, so that they open, fail and speak alike.
//
//   rfc2217://HOST:PORT   connected()  -> WILL BINARY, DO BINARY, WILL COM-PORT-OPTION
//                         received()   <- the server's answers; once BINARY holds both ways and
//                                         serial control is granted: open, and the settings
//                                         (SET-BAUDRATE ... SET-STOPSIZE) go out
//   tcp://HOST:PORT       connected()  -> nothing; open at once, bytes as they are, no settings
//
// BINARY refused (either way, at any time) fails the port: without it the server may change
// CR and NUL bytes, and the QTX's frames hold both.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "link/telnet.hpp"

namespace qtx {

struct NetworkAddress {
    enum class Kind { Rfc2217, Raw };
    Kind kind = Kind::Rfc2217;
    std::string host;  // an IPv6 address without its brackets; a name in lower case
    std::uint16_t port = 0;
    friend bool operator==(const NetworkAddress&, const NetworkAddress&) = default;
};

// Whether `name` is meant as a network port (it starts with rfc2217:// or tcp://, either case),
// whether or not the rest is right.
bool isNetworkName(std::string_view name);
// Nothing unless the whole name is a scheme, a host (an IPv6 address in brackets) and a port
// from 1 to 65535, and at most a "/" after it.
std::optional<NetworkAddress> parseNetworkName(std::string_view name);
std::string networkName(const NetworkAddress& address);

// How long opening may take: the connection, and for RFC 2217 the server's consent.
inline constexpr int kNetworkOpenMs = 4000;

enum class NetworkFailure {
    BadName,          // not rfc2217://HOST:PORT nor tcp://HOST:PORT
    Refused,          // nothing listens there
    NoSuchHost,       // the name does not resolve
    NoAnswer,         // no connection within the time
    ClosedAtOnce,     // connected, then closed by the server before it was open
    NoRfc2217Answer,  // connected, but no telnet answer within the time
    ControlRefused,   // the server refused COM-PORT-OPTION
    BinaryRefused,    // the server refused BINARY
    Other,            // the system's own words say why
};

// One line, without the name in front, that says what failed and what to do. `timeoutMs` for
// the two that ran out of time, `systemText` for Other.
std::string describeFailure(NetworkFailure failure, const NetworkAddress& address,
                            int timeoutMs = kNetworkOpenMs, std::string_view systemText = {});

class NetworkSession {
  public:
    enum class State { Connecting, Negotiating, Open, Failed };

    // `settings` go to the server as soon as it grants serial control.
    NetworkSession(NetworkAddress::Kind kind = NetworkAddress::Kind::Rfc2217,
                   const telnet::LineSettings& settings = {});

    // The connection is up: what to send first.
    telnet::Bytes connected();
    // The next piece of the server's stream: its data appended to `data` (also what comes
    // before the port is open, to be handed over once it is), and what to send back to `send`.
    void received(std::span<const std::uint8_t> in, telnet::Bytes& data, telnet::Bytes& send);
    // Failed, with why: the socket's own failures, the opening out of time, the server
    // closing the connection while it was being opened. The first failure stays.
    void fail(NetworkFailure failure);
    void timedOut();
    void closed();

    // Our data as it goes on the wire, appended to `out`.
    void encode(std::span<const std::uint8_t> data, telnet::Bytes& out) const;
    // New settings, as they go on the wire; nothing over raw TCP (the server's own hold).
    telnet::Bytes settings(const telnet::LineSettings& settings) const;

    State state() const { return current; }
    // Why it failed; set once the state is Failed.
    std::optional<NetworkFailure> failure() const { return why; }

  private:
    NetworkAddress::Kind kind;
    telnet::LineSettings initial;
    telnet::Decoder decoder;
    State current = State::Connecting;
    std::optional<NetworkFailure> why;
};

}  // namespace qtx

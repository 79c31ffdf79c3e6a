#include "link/network_session.hpp"

#include <algorithm>
#include <charconv>

namespace qtx {

namespace {

constexpr std::string_view kRfc2217Scheme = "rfc2217://";
constexpr std::string_view kRawScheme = "tcp://";

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), text.begin(),
                                                      [](char a, char b) { return a == lower(b); });
}

bool isIn(std::string_view text, std::string_view allowed) {
    return std::all_of(text.begin(), text.end(), [&](char c) {
        return (c >= '0' && c <= '9') || allowed.find(lower(c)) != std::string_view::npos;
    });
}

std::string secondsText(int ms) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, ms / 1000.0).ptr;
    return std::string(text, end);
}

}  // namespace

bool isNetworkName(std::string_view name) {
    return startsWithNoCase(name, kRfc2217Scheme) || startsWithNoCase(name, kRawScheme);
}

std::optional<NetworkAddress> parseNetworkName(std::string_view name) {
    NetworkAddress address;
    if (startsWithNoCase(name, kRfc2217Scheme)) {
        name.remove_prefix(kRfc2217Scheme.size());
    } else if (startsWithNoCase(name, kRawScheme)) {
        address.kind = NetworkAddress::Kind::Raw;
        name.remove_prefix(kRawScheme.size());
    } else {
        return std::nullopt;
    }
    if (name.ends_with('/')) name.remove_suffix(1);
    std::string_view host;
    bool hostIsRight = false;
    if (name.starts_with('[')) {
        const std::size_t close = name.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        host = name.substr(1, close - 1);
        name.remove_prefix(close + 1);
        hostIsRight = host.find(':') != std::string_view::npos && isIn(host, "abcdef:.");
    } else {
        const std::size_t colon = std::min(name.find(':'), name.size());
        host = name.substr(0, colon);
        name.remove_prefix(colon);
        hostIsRight = isIn(host, "abcdefghijklmnopqrstuvwxyz-._");
    }
    if (!hostIsRight || host.empty() || !name.starts_with(':')) return std::nullopt;
    name.remove_prefix(1);
    unsigned port = 0;
    const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), port);
    if (name.empty() || error != std::errc() || end != name.data() + name.size() || port < 1 ||
        port > 65535) {
        return std::nullopt;
    }
    address.host.resize(host.size());
    std::transform(host.begin(), host.end(), address.host.begin(), lower);
    address.port = static_cast<std::uint16_t>(port);
    return address;
}

std::string networkName(const NetworkAddress& address) {
    const bool v6 = address.host.find(':') != std::string::npos;
    return std::string(address.kind == NetworkAddress::Kind::Raw ? kRawScheme : kRfc2217Scheme) +
           (v6 ? "[" + address.host + "]" : address.host) + ":" + std::to_string(address.port);
}

std::string describeFailure(NetworkFailure failure, const NetworkAddress& address, int timeoutMs,
                            std::string_view systemText) {
    const std::string& host = address.host;
    const char* const raw = "if the server gives the port raw, name it tcp://HOST:PORT.";
    switch (failure) {
        case NetworkFailure::BadName:
            return "not a network port; name one as rfc2217://HOST:PORT or tcp://HOST:PORT.";
        case NetworkFailure::Refused:
            return "connection refused: nothing listens on port " + std::to_string(address.port) +
                   " of " + host + "; is ser2net running there, and the tunnel up?";
        case NetworkFailure::NoSuchHost:
            return "no such host " + host + ".";
        case NetworkFailure::NoAnswer:
            return "no answer from " + host + " within " + secondsText(timeoutMs) +
                   " s; check the address, the network, the tunnel or the VPN.";
        case NetworkFailure::ClosedAtOnce:
            return "the server closed the connection at once; the port may be in use by another "
                   "client.";
        case NetworkFailure::NoRfc2217Answer:
            return "no RFC 2217 answer within " + secondsText(timeoutMs) + " s; " + raw;
        case NetworkFailure::ControlRefused:
            return std::string("the server refused serial control (RFC 2217); ") + raw;
        case NetworkFailure::BinaryRefused:
            return std::string(
                       "the server refused binary mode (telnet BINARY), without which "
                       "the QTX's frames would not pass unchanged; ") +
                   raw;
        case NetworkFailure::Other:
            break;
    }
    return "cannot connect to " + host + " (" + std::string(systemText) + ").";
}

NetworkSession::NetworkSession(NetworkAddress::Kind kind, const telnet::LineSettings& settings)
    : kind(kind), initial(settings) {}

telnet::Bytes NetworkSession::connected() {
    if (current != State::Connecting) return {};
    if (kind == NetworkAddress::Kind::Raw) {
        current = State::Open;
        return {};
    }
    current = State::Negotiating;
    return telnet::clientOpening();
}

void NetworkSession::received(std::span<const std::uint8_t> in, telnet::Bytes& data,
                              telnet::Bytes& send) {
    if (current == State::Failed || current == State::Connecting) return;
    if (kind == NetworkAddress::Kind::Raw) {
        data.insert(data.end(), in.begin(), in.end());
        return;
    }
    decoder.decode(in, data, send);
    if (decoder.binary() == telnet::Decoder::Binary::Refused) {
        fail(NetworkFailure::BinaryRefused);
    } else if (current == State::Negotiating) {
        if (decoder.comPort() == telnet::Decoder::ComPort::Refused) {
            fail(NetworkFailure::ControlRefused);
        } else if (decoder.comPort() == telnet::Decoder::ComPort::Accepted &&
                   decoder.binary() == telnet::Decoder::Binary::Agreed) {
            current = State::Open;
            const telnet::Bytes line = telnet::comPortSettings(initial);
            send.insert(send.end(), line.begin(), line.end());
        }
    }
}

void NetworkSession::timedOut() {
    if (current == State::Connecting) fail(NetworkFailure::NoAnswer);
    if (current == State::Negotiating) fail(NetworkFailure::NoRfc2217Answer);
}

void NetworkSession::closed() {
    if (current == State::Negotiating) fail(NetworkFailure::ClosedAtOnce);
}

void NetworkSession::encode(std::span<const std::uint8_t> data, telnet::Bytes& out) const {
    if (kind == NetworkAddress::Kind::Raw) {
        out.insert(out.end(), data.begin(), data.end());
    } else {
        telnet::appendData(data, out);
    }
}

telnet::Bytes NetworkSession::settings(const telnet::LineSettings& settings) const {
    if (kind == NetworkAddress::Kind::Raw || current != State::Open) return {};
    return telnet::comPortSettings(settings);
}

void NetworkSession::fail(NetworkFailure failure) {
    if (current == State::Failed) return;
    current = State::Failed;
    why = failure;
}

}  // namespace qtx

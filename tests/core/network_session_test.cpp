#include "link/network_session.hpp"

#include <gtest/gtest.h>

namespace qtx {
namespace {

using telnet::Bytes;

TEST(NetworkNames, ParsedOnlyWhenWhole) {
    using K = NetworkAddress::Kind;
    const std::pair<const char*, NetworkAddress> good[] = {
        {"rfc2217://scope.lan:2000", {K::Rfc2217, "scope.lan", 2000}},
        {"tcp://192.168.1.5:4001", {K::Raw, "192.168.1.5", 4001}},
        {"rfc2217://[::1]:65535/", {K::Rfc2217, "::1", 65535}},
        {"TCP://Scope-A_1:1", {K::Raw, "scope-a_1", 1}},
        {"rfc2217://[FE80::1:2]:02000", {K::Rfc2217, "fe80::1:2", 2000}},
    };
    for (const auto& [name, address] : good) {
        EXPECT_EQ(parseNetworkName(name), address) << name;
        EXPECT_EQ(parseNetworkName(networkName(address)), address) << name;
    }
    EXPECT_EQ(networkName({K::Rfc2217, "::1", 2000}), "rfc2217://[::1]:2000");
    for (const char* bad :
         {"rfc2217://scope", "tcp://scope:0", "tcp://scope:65536", "tcp://:2000",
          "tcp://me@scope:2000", "tcp://scope:2000/x", "tcp://scope:2000?x", "tcp://scope:2000//",
          "tcp://my scope:2000", "tcp://scope:+2000", "tcp://scope:2000 ", "tcp://::1:2000",
          "tcp://[scope]:2000", "tcp://[::1]2000", "tcp://[::1:2000", "telnet://scope:2000",
          "/dev/ttyUSB0", "rfc2217:/scope:2000"}) {
        EXPECT_EQ(parseNetworkName(bad), std::nullopt) << bad;
    }
    EXPECT_TRUE(isNetworkName("rfc2217://scope"));  // meant as one, named wrongly
    EXPECT_TRUE(isNetworkName("Tcp://"));
    EXPECT_FALSE(isNetworkName("/dev/ttyUSB0"));
    EXPECT_FALSE(isNetworkName("tcp:/scope"));
}

TEST(NetworkFailures, WordsWithTheirNumbers) {
    const NetworkAddress scope{NetworkAddress::Kind::Rfc2217, "scope.lan", 2000};
    const struct {
        NetworkFailure failure;
        int timeoutMs;
        const char* text;
    } cases[] = {
        {NetworkFailure::Refused, 0,
         "connection refused: nothing listens on port 2000 of scope.lan; is ser2net running "
         "there, and the tunnel up?"},
        {NetworkFailure::NoAnswer, 300,
         "no answer from scope.lan within 0.3 s; check the address, the network, the tunnel or "
         "the VPN."},
        {NetworkFailure::NoRfc2217Answer, 4000,
         "no RFC 2217 answer within 4 s; if the server gives the port raw, name it "
         "tcp://HOST:PORT."},
        {NetworkFailure::Other, 0, "cannot connect to scope.lan (Network is unreachable)."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(describeFailure(c.failure, scope, c.timeoutMs, "Network is unreachable"), c.text);
    }
}

// The opening over RFC 2217 from the server's answers, fed whole and a byte at a time.
TEST(NetworkSessionTest, OpensOnlyWithBinaryAndSerialControl) {
    using S = NetworkSession::State;
    using F = NetworkFailure;
    const Bytes settings{0xFF, 0xFA, 0x2C, 0x01, 0x00, 0x00, 0x4B, 0x00, 0xFF, 0xF0,  // 19200
                         0xFF, 0xFA, 0x2C, 0x02, 0x08, 0xFF, 0xF0,                    //
                         0xFF, 0xFA, 0x2C, 0x03, 0x01, 0xFF, 0xF0,                    //
                         0xFF, 0xFA, 0x2C, 0x04, 0x02, 0xFF, 0xF0};
    const Bytes agreed{0xFF, 0xFD, 0x00, 0xFF, 0xFB, 0x00, 0xFF, 0xFD, 0x2C};
    const auto then = [](Bytes a, const Bytes& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const struct {
        const char* what;
        Bytes in;
        S state;
        std::optional<F> failure;
        Bytes sent;  // after the opening
        Bytes data;
    } cases[] = {
        {"agreed, with data",
         then(agreed, {0x41, 0xFF, 0xFF}),
         S::Open,
         {},
         settings,
         {0x41, 0xFF}},
        {"serial control first, then binary",
         then({0xFF, 0xFD, 0x2C, 0x42}, agreed),
         S::Open,
         {},
         settings,
         {0x42}},
        {"binary one way only", {0xFF, 0xFD, 0x00, 0xFF, 0xFD, 0x2C}, S::Negotiating, {}, {}, {}},
        {"serial control refused",
         {0xFF, 0xFD, 0x00, 0xFF, 0xFB, 0x00, 0xFF, 0xFE, 0x2C},
         S::Failed,
         F::ControlRefused,
         {},
         {}},
        {"the server's binary refused",
         {0xFF, 0xFC, 0x00, 0xFF, 0xFD, 0x2C},
         S::Failed,
         F::BinaryRefused,
         {},
         {}},
        {"our binary refused",
         {0xFF, 0xFE, 0x00, 0xFF, 0xFD, 0x2C},
         S::Failed,
         F::BinaryRefused,
         {},
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (const bool bytewise : {false, true}) {
            NetworkSession session(NetworkAddress::Kind::Rfc2217, {19200});
            EXPECT_EQ(session.connected(), telnet::clientOpening());
            EXPECT_EQ(session.settings({9600}), Bytes{});  // not before it is open
            Bytes sent, data;
            const std::span<const std::uint8_t> in(c.in);
            for (std::size_t at = 0; at < in.size(); at += bytewise ? 1 : in.size())
                session.received(in.subspan(at, bytewise ? 1 : in.size()), data, sent);
            EXPECT_EQ(session.state(), c.state);
            EXPECT_EQ(session.failure(), c.failure);
            EXPECT_EQ(sent, c.sent);
            EXPECT_EQ(data, c.data);
        }
    }
}

TEST(NetworkSessionTest, RawBytesAsTheyAreAndFailuresByStep) {
    NetworkSession raw(NetworkAddress::Kind::Raw);
    EXPECT_EQ(raw.connected(), Bytes{});
    EXPECT_EQ(raw.state(), NetworkSession::State::Open);
    Bytes data, sent, wire;
    raw.received(Bytes{0xFF, 0xFD, 0x00}, data, sent);
    raw.encode(Bytes{0xFF, 0x0D}, wire);
    EXPECT_EQ(data, (Bytes{0xFF, 0xFD, 0x00}));
    EXPECT_EQ(wire, (Bytes{0xFF, 0x0D}));
    EXPECT_TRUE(sent.empty() && raw.settings({9600}).empty());

    NetworkSession open(NetworkAddress::Kind::Rfc2217);
    open.connected();
    open.received(Bytes{0xFF, 0xFD, 0x00, 0xFF, 0xFB, 0x00, 0xFF, 0xFD, 0x2C}, data, sent);
    wire.clear();
    open.encode(Bytes{0xFF, 0x0D}, wire);
    EXPECT_EQ(wire, (Bytes{0xFF, 0xFF, 0x0D}));
    EXPECT_EQ(open.settings({9600}), telnet::comPortSettings({9600}));
    open.closed();  // once open, a loss is the front end's to tell
    EXPECT_EQ(open.state(), NetworkSession::State::Open);
    sent.clear();
    open.received(Bytes{0xFF, 0xFE, 0x00}, data, sent);  // BINARY turned off
    EXPECT_EQ(sent, (Bytes{0xFF, 0xFC, 0x00}));
    EXPECT_EQ(open.failure(), NetworkFailure::BinaryRefused);

    const struct {
        bool connected;
        void (NetworkSession::*then)();
        NetworkFailure failure;
    } steps[] = {
        {false, &NetworkSession::timedOut, NetworkFailure::NoAnswer},
        {true, &NetworkSession::timedOut, NetworkFailure::NoRfc2217Answer},
        {true, &NetworkSession::closed, NetworkFailure::ClosedAtOnce},
    };
    for (const auto& s : steps) {
        NetworkSession session;
        if (s.connected) session.connected();
        (session.*s.then)();
        session.fail(NetworkFailure::Other);  // the first failure stays
        EXPECT_EQ(session.failure(), s.failure);
    }
}

}  // namespace
}  // namespace qtx

// Telnet as a client of a serial port server (ser2net), with the serial-port control of
// RFC 2217: the bytes we send first, the line settings, the data with every IAC doubled, and a
// decoder that takes the server's stream apart in whatever pieces it arrives.
//
// Only three options are ever on: BINARY both ways (so every byte passes unchanged, CR and
// NUL included) and COM-PORT-OPTION on our side. Everything else the server offers or asks
// for is refused; its notifications (line and modem state) are skipped. A server that refuses
// BINARY, or turns it off, is answered as telnet wants and reported (binary()): what to do
// about it is the caller's.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace qtx::telnet {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint8_t kSe = 240;
inline constexpr std::uint8_t kSb = 250;
inline constexpr std::uint8_t kWill = 251;
inline constexpr std::uint8_t kWont = 252;
inline constexpr std::uint8_t kDo = 253;
inline constexpr std::uint8_t kDont = 254;
inline constexpr std::uint8_t kIac = 255;

inline constexpr std::uint8_t kBinary = 0;
inline constexpr std::uint8_t kComPortOption = 44;

// The values of SET-PARITY and SET-STOPSIZE.
enum class Parity : std::uint8_t { None = 1, Odd = 2, Even = 3, Mark = 4, Space = 5 };
enum class StopBits : std::uint8_t { One = 1, Two = 2, OneAndHalf = 3 };

struct LineSettings {
    std::uint32_t baud = 115200;
    std::uint8_t dataBits = 8;
    Parity parity = Parity::None;
    StopBits stopBits = StopBits::Two;
};

// What the client sends as soon as it is connected: WILL BINARY, DO BINARY,
// WILL COM-PORT-OPTION. A Decoder expects these to have been sent.
Bytes clientOpening();

// `data` as it goes on the wire, appended to `out`: every IAC doubled.
void appendData(std::span<const std::uint8_t> data, Bytes& out);

// SET-BAUDRATE (four bytes, most significant first), SET-DATASIZE, SET-PARITY and
// SET-STOPSIZE, each a subnegotiation of its own, an IAC among the values doubled.
Bytes comPortSettings(const LineSettings& settings);

class Decoder {
  public:
    // Whether the server lets us control the serial port: asked for by clientOpening(),
    // then accepted (DO) or refused (DONT).
    enum class ComPort { Asked, Accepted, Refused };

    // Takes the next piece of the server's stream: its data bytes, IAC IAC made one, are
    // appended to `data`; the answers the negotiation needs to `replies`, to be sent.
    void decode(std::span<const std::uint8_t> in, Bytes& data, Bytes& replies);

    ComPort comPort() const;

    // BINARY both ways: Agreed once the server took it on in both directions; Refused, for
    // good, once it refused or turned it off in either (bytes may have been changed since).
    enum class Binary { Asked, Agreed, Refused };
    Binary binary() const;

  private:
    // An option we agree to, from our request on (RFC 1143's states without the queue: we
    // never change our mind).
    enum class Option : std::uint8_t { No, Yes, Asked };
    enum class State : std::uint8_t { Data, Iac, Verb, Sub, SubIac };

    void negotiate(std::uint8_t option, Bytes& replies);
    static void agree(Option& side, bool on, std::uint8_t answer, std::uint8_t option,
                      Bytes& replies);

    State state = State::Data;
    std::uint8_t verb = 0;
    Option localBinary = Option::Asked;
    Option remoteBinary = Option::Asked;
    Option localComPort = Option::Asked;
    bool binaryRefused = false;
};

}  // namespace qtx::telnet

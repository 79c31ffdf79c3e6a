#include "link/telnet.hpp"

namespace qtx::telnet {

namespace {

// COM-PORT-OPTION commands of the client.
constexpr std::uint8_t kSetBaudRate = 1;
constexpr std::uint8_t kSetDataSize = 2;
constexpr std::uint8_t kSetParity = 3;
constexpr std::uint8_t kSetStopSize = 4;

void command(Bytes& out, std::uint8_t verb, std::uint8_t option) {
    out.insert(out.end(), {kIac, verb, option});
}

void subnegotiation(Bytes& out, std::uint8_t code, std::span<const std::uint8_t> value) {
    out.insert(out.end(), {kIac, kSb, kComPortOption, code});
    appendData(value, out);
    out.insert(out.end(), {kIac, kSe});
}

}  // namespace

Bytes clientOpening() {
    Bytes out;
    command(out, kWill, kBinary);
    command(out, kDo, kBinary);
    command(out, kWill, kComPortOption);
    return out;
}

void appendData(std::span<const std::uint8_t> data, Bytes& out) {
    out.reserve(out.size() + data.size());
    for (const std::uint8_t b : data) {
        out.push_back(b);
        if (b == kIac) out.push_back(kIac);
    }
}

Bytes comPortSettings(const LineSettings& settings) {
    const std::uint32_t baud = settings.baud;
    const std::uint8_t speed[] = {
        static_cast<std::uint8_t>(baud >> 24), static_cast<std::uint8_t>(baud >> 16),
        static_cast<std::uint8_t>(baud >> 8), static_cast<std::uint8_t>(baud)};
    const std::uint8_t size[] = {settings.dataBits};
    const std::uint8_t parity[] = {static_cast<std::uint8_t>(settings.parity)};
    const std::uint8_t stop[] = {static_cast<std::uint8_t>(settings.stopBits)};
    Bytes out;
    subnegotiation(out, kSetBaudRate, speed);
    subnegotiation(out, kSetDataSize, size);
    subnegotiation(out, kSetParity, parity);
    subnegotiation(out, kSetStopSize, stop);
    return out;
}

Decoder::ComPort Decoder::comPort() const {
    switch (localComPort) {
        case Option::Yes:
            return ComPort::Accepted;
        case Option::No:
            return ComPort::Refused;
        case Option::Asked:
            break;
    }
    return ComPort::Asked;
}

Decoder::Binary Decoder::binary() const {
    if (binaryRefused) return Binary::Refused;
    return localBinary == Option::Yes && remoteBinary == Option::Yes ? Binary::Agreed
                                                                     : Binary::Asked;
}

void Decoder::decode(std::span<const std::uint8_t> in, Bytes& data, Bytes& replies) {
    for (const std::uint8_t b : in) {
        switch (state) {
            case State::Data:
                if (b == kIac) {
                    state = State::Iac;
                } else {
                    data.push_back(b);
                }
                break;
            case State::Iac:
                state = State::Data;
                if (b == kIac) {
                    data.push_back(b);
                } else if (b >= kWill) {
                    verb = b;
                    state = State::Verb;
                } else if (b == kSb) {
                    state = State::Sub;
                }
                // Any other command (NOP, DM, BRK, GA, a stray SE...) means nothing here.
                break;
            case State::Verb:
                negotiate(b, replies);
                state = State::Data;
                break;
            case State::Sub:
                // Notifications and answers to our settings: read past, nothing kept.
                if (b == kIac) state = State::SubIac;
                break;
            case State::SubIac:
                if (b == kIac) {
                    state = State::Sub;  // a doubled IAC within the values
                } else if (b == kSe) {
                    state = State::Data;
                } else {
                    // An IAC that is neither doubled nor the end: the subnegotiation was cut
                    // short, and this is the command that follows it.
                    state = State::Iac;
                    decode(std::span(&b, 1), data, replies);
                }
                break;
        }
    }
}

void Decoder::agree(Option& side, bool on, std::uint8_t answer, std::uint8_t option,
                    Bytes& replies) {
    const Option wanted = on ? Option::Yes : Option::No;
    // An answer to our own request, or a request for what already holds, is not answered:
    // that is what keeps two ends from answering each other for ever.
    if (side == Option::Asked || side == wanted) {
        side = wanted;
        return;
    }
    side = wanted;
    command(replies, answer, option);
}

void Decoder::negotiate(std::uint8_t option, Bytes& replies) {
    const bool on = verb == kWill || verb == kDo;
    if (option == kBinary && !on) binaryRefused = true;
    if (verb == kWill || verb == kWont) {  // about the server's side
        if (option == kBinary) {
            agree(remoteBinary, on, on ? kDo : kDont, option, replies);
        } else if (on) {
            command(replies, kDont, option);
        }
        return;
    }
    // DO or DONT: about our side.
    if (option == kBinary || option == kComPortOption) {
        agree(option == kBinary ? localBinary : localComPort, on, on ? kWill : kWont, option,
              replies);
    } else if (on) {
        command(replies, kWont, option);
    }
}

}  // namespace qtx::telnet

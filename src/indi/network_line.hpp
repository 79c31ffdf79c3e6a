// A serial port served over the network (ser2net at a telescope) under the driver, named
// rfc2217://HOST:PORT or tcp://HOST:PORT: a non-blocking TCP socket that libindi's loop watches
// as it watches a serial device, speaking through the wire layer's NetworkSession as the
// window's port does (the same negotiation, settings and words for a failure).
//
// Opening is the one wait: the name's lookup, the connection and the negotiation together
// take at most openMs, so that the driver stops for no longer than that and then says which
// failure it was. The lookup of a name runs in glibc's own helper (getaddrinfo_a), so that a
// resolver that does not answer cannot hold the driver past that time either.
#pragma once

#include "line.hpp"
#include "link/network_session.hpp"

namespace qtx::indi {

class NetworkLine final : public Line {
  public:
    explicit NetworkLine(int openMs = kNetworkOpenMs) : openMs(openMs) { onSocket = true; }
    ~NetworkLine() override { close(0); }

    bool open(const std::string& device, const LineSettings& settings) override;
    // Sent to the server over RFC 2217; raw TCP has nothing to send them with.
    bool apply(const LineSettings& settings) override;
    // Gone also when the server turns BINARY off: bytes may have been changed from there on.
    Read readInto(std::vector<std::uint8_t>& out) override;
    bool write(std::span<const std::uint8_t> bytes) override;

  private:
    bool fail(const std::string& systemText = {});

    int openMs;
    NetworkAddress address;
    NetworkSession session;
    std::vector<std::uint8_t> early;     // data that came with the negotiation
    std::vector<std::uint8_t> incoming;  // the last read, as it came
};

}  // namespace qtx::indi

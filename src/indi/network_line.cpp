#include "network_line.hpp"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>

#include "tcp_tuning.hpp"

namespace qtx::indi {

namespace {

using Clock = std::chrono::steady_clock;

int msLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// poll() on one descriptor until the deadline, through interruptions: > 0 ready, 0 out of
// time, < 0 an error.
int await(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int ready = ::poll(&p, 1, msLeft(deadline));
        if (ready >= 0 || errno != EINTR) return ready;
    }
}

telnet::LineSettings lineSettings(const LineSettings& s) {
    telnet::LineSettings line;
    line.baud = static_cast<std::uint32_t>(s.baud);
    line.dataBits = static_cast<std::uint8_t>(s.dataBits);
    line.parity = s.parity == 'E'   ? telnet::Parity::Even
                  : s.parity == 'O' ? telnet::Parity::Odd
                                    : telnet::Parity::None;
    line.stopBits = s.stopBits == 1 ? telnet::StopBits::One : telnet::StopBits::Two;
    return line;
}

struct Lookup {
    std::string host, service;
    addrinfo hints{};
    gaicb request{};
    ~Lookup() {
        if (request.ar_result) ::freeaddrinfo(request.ar_result);
    }
};

struct Addresses {
    std::unique_ptr<Lookup> lookup;  // the list is its result
    NetworkFailure failure = NetworkFailure::Other;
    std::string systemText;
    addrinfo* list() const { return lookup ? lookup->request.ar_result : nullptr; }
};

// The addresses of the server, found by the deadline or not at all.
Addresses resolve(const NetworkAddress& address, Clock::time_point deadline) {
    // Lookups given up while glibc was still at them: it writes into them when it is done.
    static std::vector<std::unique_ptr<Lookup>> abandoned;
    std::erase_if(abandoned,
                  [](const auto& l) { return ::gai_error(&l->request) != EAI_INPROGRESS; });

    Addresses found;
    auto lookup = std::make_unique<Lookup>();
    lookup->host = address.host;
    lookup->service = std::to_string(address.port);
    lookup->hints.ai_socktype = SOCK_STREAM;
    lookup->hints.ai_flags = AI_NUMERICSERV | AI_NUMERICHOST;
    // An address as digits needs no resolver (nor a helper thread).
    if (::getaddrinfo(lookup->host.c_str(), lookup->service.c_str(), &lookup->hints,
                      &lookup->request.ar_result) == 0) {
        found.lookup = std::move(lookup);
        return found;
    }
    lookup->hints.ai_flags = AI_NUMERICSERV;
    lookup->request.ar_name = lookup->host.c_str();
    lookup->request.ar_service = lookup->service.c_str();
    lookup->request.ar_request = &lookup->hints;
    gaicb* requests[] = {&lookup->request};
    int status = ::getaddrinfo_a(GAI_NOWAIT, requests, 1, nullptr);
    if (status == 0) {
        while ((status = ::gai_error(&lookup->request)) == EAI_INPROGRESS) {
            const int left = msLeft(deadline);
            if (left == 0) break;
            const timespec wait{left / 1000, (left % 1000) * 1000000L};
            ::gai_suspend(requests, 1, &wait);
        }
    }
    if (status == 0) {
        found.lookup = std::move(lookup);
    } else if (status == EAI_INPROGRESS) {
        found.failure = NetworkFailure::NoAnswer;
        if (::gai_cancel(&lookup->request) != EAI_CANCELED) abandoned.push_back(std::move(lookup));
    } else if (status == EAI_NONAME || status == EAI_NODATA || status == EAI_ADDRFAMILY) {
        found.failure = NetworkFailure::NoSuchHost;
    } else {
        found.systemText = ::gai_strerror(status);
    }
    return found;
}

}  // namespace

bool NetworkLine::open(const std::string& device, const LineSettings& settings) {
    close(0);
    why.clear();
    name = device;
    early.clear();
    const auto parsed = parseNetworkName(device);
    if (!parsed) {
        why = device + ": " + describeFailure(NetworkFailure::BadName, {});
        return false;
    }
    address = *parsed;
    session = NetworkSession(address.kind, lineSettings(settings));
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(openMs);

    const Addresses addresses = resolve(address, deadline);
    if (!addresses.list()) {
        session.fail(addresses.failure);
        return fail(addresses.systemText);
    }
    // Each address in turn (a name may stand for an IPv6 and an IPv4 one) until one takes the
    // connection or the time is up; the last one's answer says why not.
    int error = ETIMEDOUT;
    for (const addrinfo* at = addresses.list(); at && fd < 0 && msLeft(deadline) > 0;
         at = at->ai_next) {
        fd = ::socket(at->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            error = errno;
            continue;
        }
        error = ::connect(fd, at->ai_addr, at->ai_addrlen) == 0 ? 0 : errno;
        if (error == EINPROGRESS) {
            const int ready = await(fd, POLLOUT, deadline);
            socklen_t size = sizeof error;
            if (ready == 0) {
                error = ETIMEDOUT;
            } else if (ready < 0 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) {
                error = errno;
            }
        }
        if (error != 0) Line::close(0);
    }
    if (fd < 0) {
        session.fail(error == ECONNREFUSED ? NetworkFailure::Refused
                     : error == ETIMEDOUT  ? NetworkFailure::NoAnswer
                                           : NetworkFailure::Other);
        return fail(std::strerror(error));
    }
    // Requests are a few bytes each, and each waits for its answer: no coalescing.
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);

    writeAll(session.connected());
    while (session.state() == NetworkSession::State::Negotiating) {
        const int ready = await(fd, POLLIN, deadline);
        if (ready == 0) {
            session.timedOut();
            break;
        }
        incoming.clear();
        if (ready < 0 || readAvailable(incoming) == Read::Gone) {
            session.closed();
            break;
        }
        telnet::Bytes replies;
        session.received(incoming, early, replies);
        writeAll(replies);
    }
    if (session.state() != NetworkSession::State::Open) return fail();
    return true;
}

bool NetworkLine::fail(const std::string& systemText) {
    why = name + ": " +
          describeFailure(session.failure().value_or(NetworkFailure::Other), address, openMs,
                          systemText);
    Line::close(0);
    return false;
}

bool NetworkLine::apply(const LineSettings& settings) {
    return isOpen() && writeAll(session.settings(lineSettings(settings)));
}

Line::Read NetworkLine::readInto(std::vector<std::uint8_t>& out) {
    const std::size_t before = out.size();
    out.insert(out.end(), early.begin(), early.end());
    early.clear();
    incoming.clear();
    const Read read = readAvailable(incoming);
    if (!incoming.empty()) posix::acknowledgeAtOnce(fd);
    telnet::Bytes replies;
    session.received(incoming, out, replies);
    if (!replies.empty()) writeAll(replies);
    if (session.state() == NetworkSession::State::Failed) {
        why = name + ": " + describeFailure(*session.failure(), address);
        out.resize(before);
        return Read::Gone;
    }
    if (out.size() > before) return Read::Data;
    return read == Read::Data ? Read::Quiet : read;
}

bool NetworkLine::write(std::span<const std::uint8_t> bytes) {
    if (!isOpen()) return false;
    telnet::Bytes wire;
    session.encode(bytes, wire);
    return writeAll(wire);
}

}  // namespace qtx::indi

// The driver's network line opening against what the machine itself can be made to do: a port
// nothing listens on, and one that takes connections but never answers. What the server says in
// answer is the wire layer's (NetworkSession); a whole exchange through ser2net is the driver's.
#include "network_line.hpp"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace qtx::indi {
namespace {

TEST(NetworkLineTest, OpeningSaysWhyItFailed) {
    // Connections wait in its backlog, never taken.
    const int silent = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof at;
    ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&at), size), 0);
    ::listen(silent, 8);
    ::getsockname(silent, reinterpret_cast<sockaddr*>(&at), &size);
    const std::string port = std::to_string(ntohs(at.sin_port));
    const std::string none = std::to_string(ntohs(at.sin_port) ^ 1);  // most likely free

    const struct {
        std::string name;
        std::string why;  // how failure() goes on after the name; "" when it opens
    } cases[] = {
        {"rfc2217://127.0.0.1:" + port, ": no RFC 2217 answer within 0.3 s; "},
        {"tcp://127.0.0.1:" + port, ""},
        {"tcp://127.0.0.1:" + none, ": connection refused: nothing listens on port " + none},
        // Looked up by name, not as digits.
        {"rfc2217://LocalHost:" + none,
         ": connection refused: nothing listens on port " + none + " of localhost;"},
        {"rfc2217://127.0.0.1", ": not a network port; "},
    };
    for (const auto& c : cases) {
        NetworkLine line(300);
        EXPECT_EQ(line.open(c.name, {}), c.why.empty()) << c.name;
        EXPECT_EQ(line.isOpen(), c.why.empty());
        EXPECT_TRUE(c.why.empty() ? line.failure().empty()
                                  : line.failure().starts_with(c.name + c.why))
            << line.failure();
    }
    ::close(silent);
}

}  // namespace
}  // namespace qtx::indi

#include "tcp_tuning.hpp"

#ifdef __linux__
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

namespace qtx::posix {

void acknowledgeAtOnce([[maybe_unused]] int socket) {
#ifdef __linux__
    const int on = 1;
    ::setsockopt(socket, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
#endif
}

}  // namespace qtx::posix

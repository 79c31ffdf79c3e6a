// What a TCP connection to a serial port server needs beyond the defaults, for the shell's
// Qt socket and the INDI driver's own alike.
#pragma once

namespace qtx::posix {

// A server that holds back the rest of a reply until its first piece is acknowledged (Nagle's
// algorithm, ser2net's default) would otherwise wait for our delayed acknowledgement, up to
// 40 ms a reply. Linux clears this after a while, so it is asked for again on every read;
// elsewhere it does nothing.
void acknowledgeAtOnce(int socket);

}  // namespace qtx::posix

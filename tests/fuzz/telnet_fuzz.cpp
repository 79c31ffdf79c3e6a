// The telnet decoder on any stream from a server: the pieces it comes in change nothing, it
// never gives more than it took, and data we escaped comes back unchanged. The network session
// over the same stream, in the same pieces: whatever it decides, it gives no more data than
// came, and sends no more than its answers and one set of settings.
// Input: one byte choosing the piece size (1 to 16), then the server's stream.
#include <algorithm>

#include "link/network_session.hpp"
#include "link/telnet.hpp"

using qtx::telnet::Bytes;
using qtx::telnet::Decoder;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::size_t piece = data[0] % 16 + 1;
    const std::span<const std::uint8_t> in(data + 1, size - 1);

    Decoder whole, split;
    Bytes wholeData, wholeReplies, splitData, splitReplies;
    whole.decode(in, wholeData, wholeReplies);
    for (std::size_t at = 0; at < in.size(); at += piece)
        split.decode(in.subspan(at, std::min(piece, in.size() - at)), splitData, splitReplies);
    if (wholeData != splitData || wholeReplies != splitReplies ||
        whole.comPort() != split.comPort())
        __builtin_trap();
    // A reply answers a three-byte command with three bytes.
    if (wholeData.size() > in.size() || wholeReplies.size() > in.size()) __builtin_trap();

    qtx::NetworkSession session;
    Bytes sessionData, sent;
    session.connected();
    for (std::size_t at = 0; at < in.size(); at += piece)
        session.received(in.subspan(at, std::min(piece, in.size() - at)), sessionData, sent);
    if (sessionData.size() > in.size() ||
        sent.size() > in.size() + qtx::telnet::comPortSettings({}).size() ||
        (session.state() == qtx::NetworkSession::State::Failed) != session.failure().has_value())
        __builtin_trap();

    Bytes escaped, back, replies;
    qtx::telnet::appendData(in, escaped);
    Decoder fresh;
    fresh.decode(escaped, back, replies);
    if (!std::equal(back.begin(), back.end(), in.begin(), in.end()) || !replies.empty())
        __builtin_trap();
    return 0;
}

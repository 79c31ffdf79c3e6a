// Frames for tests, built independently of the code under test.
#pragma once

#include <cstdint>
#include <vector>

namespace qtx::test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes frameOf(std::uint8_t code, const Bytes& payload = {}) {
    Bytes f{0xA5, code, static_cast<std::uint8_t>(payload.size() & 0xFF),
            static_cast<std::uint8_t>(payload.size() >> 8)};
    const unsigned h = 0xA5U + code + f[2] + f[3];
    f.push_back(static_cast<std::uint8_t>(h & 0xFF));
    f.push_back(static_cast<std::uint8_t>((h >> 8) & 0xFF));
    if (payload.empty()) return f;
    unsigned p = 0;
    for (std::uint8_t b : payload) p += b;
    f.insert(f.end(), payload.begin(), payload.end());
    f.push_back(static_cast<std::uint8_t>(p & 0xFF));
    f.push_back(static_cast<std::uint8_t>((p >> 8) & 0xFF));
    return f;
}

inline Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace qtx::test

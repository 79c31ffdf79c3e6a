// Frames for tests, built independently of the code under test, and the golden frames the
// suites compare with, each written out byte by byte once.
#pragma once

#include <cstdint>
#include <vector>

namespace qtx::test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// 16-bit words, low byte first.
inline Bytes wordBytes(const std::vector<std::uint16_t>& words) {
    Bytes out;
    for (std::uint16_t w : words) out.insert(out.end(), {std::uint8_t(w), std::uint8_t(w >> 8)});
    return out;
}

// Sync, code, length and the header's sum, then the payload and its sum, if there is one.
inline Bytes frameOf(std::uint8_t code, const Bytes& payload = {}) {
    const auto n = static_cast<std::uint16_t>(payload.size());
    const Bytes f =
        Bytes{0xA5, code} + wordBytes({n, std::uint16_t(0xA5 + code + n % 256 + n / 256)});
    unsigned sum = 0;
    for (std::uint8_t b : payload) sum += b;
    return payload.empty() ? f : f + payload + wordBytes({std::uint16_t(sum)});
}

// The fields of an image header block the console uses to fetch the rows.
struct HeaderFields {
    std::uint16_t flags = 0, height = 3, width = 4, firstrow = 10, firstcolumn = 20;
    std::uint16_t numexposures = 1, range = 256;
};

inline Bytes headerFrame(const HeaderFields& h) {
    Bytes block =
        wordBytes({h.flags, h.height, h.width, h.firstrow, h.firstcolumn, 0, h.numexposures});
    block.resize(34, 0);
    return frameOf(4, block + wordBytes({h.range, 0}));
}
inline Bytes rawRow(const std::vector<std::uint16_t>& words) {
    return frameOf(5, wordBytes(words));
}
inline Bytes compressedRow(const Bytes& tokens) { return frameOf(7, tokens); }

// Golden frames: the bytes on the line.
inline const Bytes kAck{0xA5, 0x06, 0x00, 0x00, 0xAB, 0x00};
inline const Bytes kNak{0xA5, 0x15, 0x00, 0x00, 0xBA, 0x00};
inline const Bytes kLinkOk{0xA5, 0xFE, 0x00, 0x00, 0xA3, 0x01};
inline const Bytes kLinkRequest{0xA5, 0xFF, 0x00, 0x00, 0xA4, 0x01};
inline const Bytes kImageOffer{0xA5, 0x00, 0x00, 0x00, 0xA5, 0x00};
inline const Bytes kFlashOffer{0xA5, 0x01, 0x00, 0x00, 0xA6, 0x00};  // also the console's "no"
inline const Bytes kDownloadEnd{0xA5, 0x02, 0x00, 0x00, 0xA7, 0x00};
inline const Bytes kDownloadAll{0xA5, 0x03, 0x00, 0x00, 0xA8, 0x00};
inline const Bytes kRemoteOn{0xA5, 0x09, 0x02, 0x00, 0xB0, 0x00, 0x01, 0x00, 0x01, 0x00};
inline const Bytes kRemoteOff{0xA5, 0x09, 0x02, 0x00, 0xB0, 0x00, 0x00, 0x00, 0x00, 0x00};
inline const Bytes kSaved{0xA5, 0x0B, 0x02, 0x00, 0xB2, 0x00, 0x00, 0x00, 0x00, 0x00};
inline const Bytes kNotSaved{0xA5, 0x0B, 0x02, 0x00, 0xB2, 0x00, 0x01, 0x00, 0x01, 0x00};
inline const Bytes kCodeBegin{0xA5, 0xFD, 0x02, 0x00, 0xA4, 0x01, 0x20, 0x00, 0x20, 0x00};
inline const Bytes kKeyUp{0xA5, 0x08, 0x02, 0x00, 0xAF, 0x00, 0x00, 0x20, 0x20, 0x00};
// 48 x 'A' on the display: header sum 0xDE, payload sum 0x0C30.
inline const Bytes kDisplayAllA = [] {
    Bytes f{0xA5, 0x09, 0x30, 0x00, 0xDE, 0x00};
    f.insert(f.end(), 48, 0x41);
    return f + Bytes{0x30, 0x0C};
}();
// The header request, with the four spare bytes the console sends behind it.
inline Bytes headerRequest(std::uint8_t buffer) {
    return {0xA5, 0x04, 0x02, 0x00, 0xAB, 0x00, buffer, 0x00, buffer, 0x00, 0, 0, 0, 0};
}
// Rows 10, 11 and 12 of a 4-column image at column 20 of buffer 31, and its track row.
inline const Bytes kRow10{0xA5, 0x07, 0x08, 0x00, 0xB4, 0x00, 0x0A, 0x00,
                          0x14, 0x00, 0x04, 0x00, 0x1F, 0x00, 0x41, 0x00};
inline Bytes rowRequest(std::uint16_t row, std::uint16_t buffer = 31) {
    return frameOf(7, wordBytes({row, 20, 4, buffer}));
}
inline const Bytes kRow11 = rowRequest(11);
inline const Bytes kRow12 = rowRequest(12);
inline const Bytes kTrackRowRequest{0xA5, 0x05, 0x08, 0x00, 0xB2, 0x00, 0xC8, 0x00,
                                    0x00, 0x00, 0x40, 0x01, 0x1F, 0x00, 0x28, 0x01};

}  // namespace qtx::test

// The simulated QTX's images as the console receives them: every row of several buffers
// through a decoder of the row code written here, compared with the model's pixels.
#include <gtest/gtest.h>

#include <optional>

#include "model/qtx_model.hpp"
#include "model/row_encoder.hpp"
#include "sim_support.hpp"

namespace qtx::sim::test {
namespace {

struct Tokens {
    std::size_t up = 0, down = 0, delta = 0, set = 0;
};

// The row code, read from its description: first word, then one token per pixel.
std::optional<std::vector<std::uint16_t>> decodeRow(const Bytes& p, std::size_t width, Tokens& t) {
    if (p.size() < 2 || width == 0) return std::nullopt;
    std::vector<std::uint16_t> out;
    long v = p[0] + 256L * p[1];
    out.push_back(static_cast<std::uint16_t>(v));
    std::size_t at = 2;
    while (out.size() < width) {
        if (at >= p.size()) return std::nullopt;
        const unsigned b = p[at];
        if (b < 0x40) {
            v += b;
            ++t.up;
            at += 1;
        } else if (b < 0x80) {
            v += static_cast<long>(b) - 128;
            ++t.down;
            at += 1;
        } else {
            if (at + 1 >= p.size()) return std::nullopt;
            long d = (b & 0x3F) * 256L + p[at + 1];
            if (b < 0xC0) {
                if (d >= 0x2000) d -= 0x4000;
                v += d;
                ++t.delta;
            } else {
                v = d * 4;
                ++t.set;
            }
            at += 2;
        }
        out.push_back(static_cast<std::uint16_t>(v & 0xFFFF));
    }
    if (at != p.size()) return std::nullopt;  // nothing may be left over
    return out;
}

std::vector<std::uint16_t> words(const Bytes& p) {
    std::vector<std::uint16_t> out;
    for (std::size_t i = 0; i + 1 < p.size(); i += 2)
        out.push_back(static_cast<std::uint16_t>(wordAt(p, i)));
    return out;
}

struct Header {
    unsigned flags, height, width, firstrow, firstcolumn, exposure, numexposures, time;
};

Header headerOf(QtxModel& model, unsigned buffer) {
    const auto frames = ask(model, frameOf(4, word(buffer)));
    EXPECT_EQ(frames.size(), 1U);
    EXPECT_EQ(frames.at(0).code, 4);
    const Bytes& p = frames.at(0).payload;
    return {wordAt(p, 0), wordAt(p, 2),  wordAt(p, 4),  wordAt(p, 6),
            wordAt(p, 8), wordAt(p, 10), wordAt(p, 12), wordAt(p, 24)};
}

TEST(ModelImages, EveryRowDecodesToThePixels) {
    QtxModel model;
    Tokens tokens;
    std::size_t compressed = 0, raw = 0;
    for (unsigned n : {0U, 1U, 2U, 4U, 5U, 6U, 7U, 9U, 10U, 12U, 17U, 20U, 25U, 31U}) {
        const Header h = headerOf(model, n);
        const ImageBuffer& b = model.buffer(static_cast<int>(n));
        ASSERT_EQ(h.height, b.header.height) << "buffer " << n;
        ASSERT_EQ(h.width, b.header.width) << "buffer " << n;
        ASSERT_LE(h.firstrow + h.height, 200U)
            << "rows must stay below the track row, buffer " << n;
        ASSERT_LE(h.firstcolumn + h.width, 320U) << "buffer " << n;
        for (unsigned r = 0; r < h.height; ++r) {
            const auto frames =
                ask(model, rowRequest(7, h.firstrow + r, h.firstcolumn, h.width, n));
            ASSERT_EQ(frames.size(), 1U) << "buffer " << n << " row " << r;
            const Frame& f = frames[0];
            std::vector<std::uint16_t> row;
            if (f.code == 7) {
                const auto decoded = decodeRow(f.payload, h.width, tokens);
                ASSERT_TRUE(decoded) << "buffer " << n << " row " << r;
                row = *decoded;
                ++compressed;
            } else {
                ASSERT_EQ(f.code, 5) << "buffer " << n;
                ASSERT_EQ(f.payload.size(), 2U * h.width);
                row = words(f.payload);
                ++raw;
            }
            const auto expected = b.row(static_cast<int>(r));
            ASSERT_TRUE(std::equal(row.begin(), row.end(), expected.begin(), expected.end()))
                << "buffer " << n << " row " << r;
        }
    }
    EXPECT_GT(tokens.up, 0U);
    EXPECT_GT(tokens.down, 0U);
    EXPECT_GT(tokens.delta, 0U);
    EXPECT_GT(tokens.set, 0U);
    EXPECT_GT(compressed, 0U);
    EXPECT_GT(raw, 0U);
}

TEST(ModelImages, PartOfARowAndRawRows) {
    QtxModel model;
    // Columns 100..109 of sensor row 60 in the window of buffer 1 (from column 60).
    auto frames = ask(model, rowRequest(7, 60, 100, 10, 1));
    ASSERT_EQ(frames.size(), 1U);
    Tokens t;
    const auto row = decodeRow(frames[0].payload, 10, t);
    ASSERT_TRUE(row);
    const auto expected = model.buffer(1).row(10).subspan(40, 10);
    EXPECT_TRUE(std::equal(row->begin(), row->end(), expected.begin(), expected.end()));
    // CMD_ROW_RAW for an image row answers it uncompressed.
    frames = ask(model, rowRequest(5, 60, 60, 200, 1));
    ASSERT_EQ(frames.size(), 1U);
    EXPECT_EQ(frames[0].code, 5);
    const auto all = model.buffer(1).row(10);
    EXPECT_EQ(words(frames[0].payload), std::vector<std::uint16_t>(all.begin(), all.end()));
}

TEST(ModelImages, RowCodeGoldenRow) {
    // +5, -1, +8191, -8192, a jump to 40000 and one to 1024 (both multiples of 4).
    const std::vector<std::uint16_t> pixels{1000, 1005, 1004, 9195, 1003, 40000, 1024};
    const Bytes expected{0xE8, 0x03, 0x05, 0x7F, 0x9F, 0xFF, 0xA0, 0x00, 0xE7, 0x10, 0xC1, 0x00};
    EXPECT_EQ(encodeRow(pixels), std::optional<Bytes>(expected));
    // A jump too far for a delta onto a value the set token cannot hold: sent raw instead.
    EXPECT_EQ(encodeRow(std::vector<std::uint16_t>{100, 40001}), std::nullopt);
    EXPECT_EQ(encodeRow(std::vector<std::uint16_t>{0x9C40}),
              std::optional<Bytes>(Bytes{0x40, 0x9C}));
}

TEST(ModelImages, TrackRowOfASummedImageHoldsGuidingOffsets) {
    QtxModel model;
    const auto frames = ask(model, rowRequest(5, 200, 0, 320, 7));
    ASSERT_EQ(frames.size(), 1U);
    ASSERT_EQ(frames[0].payload.size(), 640U);
    const auto w = words(frames[0].payload);
    EXPECT_EQ(w[0], 0);
    EXPECT_EQ(w[1], 0);
    bool negative = false;
    for (int k = 1; k < 16; ++k) {
        const int dx = static_cast<std::int16_t>(w[2 * k]);
        const int dy = static_cast<std::int16_t>(w[2 * k + 1]);
        const int px = static_cast<std::int16_t>(w[2 * k - 2]);
        const int py = static_cast<std::int16_t>(w[2 * k - 1]);
        EXPECT_LE(std::abs(dx - px), 1);  // a guided drift moves a pixel at most
        EXPECT_LE(std::abs(dy - py), 1);
        negative = negative || dx < 0 || dy < 0;
    }
    EXPECT_TRUE(negative) << "offsets in both directions show the signed words";
    for (std::size_t i = 32; i < 320; ++i) EXPECT_EQ(w[i], 0) << "word " << i;
}

std::uint32_t dayMsOf(const Header& h) {
    const unsigned hour = (h.time >> 12) + ((h.flags & 0x0400) ? 12 : 0);
    return ((hour * 60 + ((h.time >> 6) & 0x3F)) * 60 + (h.time & 0x3F)) * 1000;
}

TEST(ModelImages, MosaicSnapshotTimesStartAtTheImageTime) {
    QtxModel model;
    for (const auto& [buffer, snapshots] : {std::pair{4U, 40}, std::pair{5U, 6}}) {
        const Header h = headerOf(model, buffer);
        const auto frames = ask(model, rowRequest(5, 200, 0, 320, buffer));
        ASSERT_EQ(frames.size(), 1U);
        const auto w = words(frames[0].payload);
        auto t = [&](int k) {
            return (static_cast<std::uint32_t>(w[2 * k - 2]) << 16) | w[2 * k - 1];
        };
        EXPECT_EQ(t(1), dayMsOf(h)) << "buffer " << buffer;
        for (int k = 2; k <= snapshots; ++k)
            EXPECT_GT(t(k), t(k - 1)) << "buffer " << buffer << " snapshot " << k;
        EXPECT_EQ(w[2 * snapshots], 0) << "nothing after the last snapshot";
    }
}

}  // namespace
}  // namespace qtx::sim::test

#include <gtest/gtest.h>

#include <vector>

#include "link/frame.hpp"

namespace qtx {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(Frame, BuildsTheSystemsExamples) {
    EXPECT_EQ(buildFrame(CMD_LINK_OK, {}), (Bytes{0xA5, 0xFE, 0x00, 0x00, 0xA3, 0x01}));
    EXPECT_EQ(buildFrame(255, {}), (Bytes{0xA5, 0xFF, 0x00, 0x00, 0xA4, 0x01}));
    EXPECT_EQ(buildFrame(CMD_DOWNLOAD_END, {}), (Bytes{0xA5, 0x02, 0x00, 0x00, 0xA7, 0x00}));
    const Bytes one{0x42};
    EXPECT_EQ(buildFrame(7, one), (Bytes{0xA5, 0x07, 0x01, 0x00, 0xAD, 0x00, 0x42, 0x42, 0x00}));
    const Bytes remote{0x01, 0x00};
    EXPECT_EQ(buildFrame(CMD_REMOTE, remote),
              (Bytes{0xA5, 0x09, 0x02, 0x00, 0xB0, 0x00, 0x01, 0x00, 0x01, 0x00}));
}

TEST(Frame, PayloadChecksumKeepsLow16Bits) {
    const Bytes page(514, 0xFF);  // sum 131070 = 0x1FFFE
    const Bytes frame = buildFrame(CMD_CODE_PAGE, page);
    ASSERT_EQ(frame.size(), 522U);
    EXPECT_EQ(frame[2], 0x02);
    EXPECT_EQ(frame[3], 0x02);
    EXPECT_EQ(frame[520], 0xFE);
    EXPECT_EQ(frame[521], 0xFF);
    EXPECT_TRUE(payloadChecksumOk(frame));
}

TEST(Frame, ChecksAndTheirDamagedTwins) {
    const Bytes good{0xA5, 0x07, 0x01, 0x00, 0xAD, 0x00, 0x42, 0x42, 0x00};
    EXPECT_TRUE(headerChecksumOk(good));
    EXPECT_EQ(payloadLength(good), 1);
    EXPECT_TRUE(payloadChecksumOk(good));

    Bytes badHeader = good;
    badHeader[4] = 0xAE;
    EXPECT_FALSE(headerChecksumOk(badHeader));
    Bytes badPayload = good;
    badPayload[7] = 0x43;
    EXPECT_FALSE(payloadChecksumOk(badPayload));
    const Bytes cut(good.begin(), good.end() - 1);
    EXPECT_FALSE(payloadChecksumOk(cut));
    EXPECT_FALSE(headerChecksumOk(std::span(good).first(5)));
    EXPECT_EQ(payloadLength(std::span(good).first(3)), 0);
    const Bytes big{0xA5, 0x07, 0x10, 0x27, 0xE3, 0x00};  // N = 10000
    EXPECT_TRUE(headerChecksumOk(big));
    EXPECT_EQ(payloadLength(big), 10000);
    EXPECT_FALSE(payloadChecksumOk(big));
}

TEST(Frame, RoundTripsEveryLength) {
    for (std::size_t n : {0U, 1U, 2U, 48U, 514U, 1016U}) {
        Bytes payload(n);
        for (std::size_t i = 0; i < n; ++i) payload[i] = static_cast<std::uint8_t>(i * 37 + 11);
        const Bytes frame = buildFrame(0x33, payload);
        EXPECT_EQ(frame.size(), n == 0 ? 6 : n + 8);
        EXPECT_TRUE(headerChecksumOk(frame));
        EXPECT_EQ(payloadLength(frame), n);
        if (n > 0) {
            EXPECT_TRUE(payloadChecksumOk(frame));
        }
    }
}

}  // namespace
}  // namespace qtx

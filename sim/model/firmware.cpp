#include "model/firmware.hpp"

#include <cstdio>

#include "link/le16.hpp"
#include "upload/crc16.hpp"

namespace qtx::sim {

namespace {

std::string hex4(std::uint16_t v) {
    char s[8];
    std::snprintf(s, sizeof s, "%04X", v);
    return s;
}

}  // namespace

CodeLoader::Verdict CodeLoader::refuse(std::string what, std::string more) {
    text = std::move(what);
    text2 = std::move(more);
    return Verdict::Refused;
}

CodeLoader::Verdict CodeLoader::begin(std::span<const std::uint8_t> payload) {
    if (payload.size() != 2 || payload[0] != 0x20 || payload[1] != 0x00) {
        return refuse("CODE LOAD", "Bad begin frame");
    }
    // A begin while loading starts over: the console restarts its upload from page 0.
    receiving = true;
    nextPage = 0;
    image.assign(kCodeBytes, 0);
    text = "CODE LOAD";
    text2 = "Waiting for page 0";
    return Verdict::Accepted;
}

CodeLoader::Verdict CodeLoader::page(std::span<const std::uint8_t> payload) {
    if (!receiving) return refuse("CODE LOAD", "Page without begin");
    if (payload.size() != kPagePayloadBytes || payload[1] != 0 || payload[0] < 64) {
        return refuse("CODE LOAD", "Bad page frame");
    }
    const std::size_t p = payload[0] - 64U;
    if (nextPage > 0 && p == nextPage - 1) return Verdict::Repeat;
    if (p != nextPage) {
        return refuse("CODE LOAD  page order",
                      "Got " + std::to_string(p) + " want " + std::to_string(nextPage));
    }
    // Undo the exchange: payload 2 + 2k holds file byte 2k + 1 and 3 + 2k file byte 2k.
    std::uint8_t* dst = image.data() + p * kPageBytes;
    for (std::size_t k = 0; k < kPageBytes / 2; ++k) {
        dst[2 * k] = payload[3 + 2 * k];
        dst[2 * k + 1] = payload[2 + 2 * k];
    }
    ++nextPage;
    text = "CODE LOAD";
    text2 = "Page " + std::to_string(nextPage) + " of 192";
    return Verdict::Accepted;
}

CodeLoader::Verdict CodeLoader::end(std::span<const std::uint8_t> payload) {
    if (!receiving) return refuse("CODE LOAD", "End without begin");
    if (payload.size() != 4 || payload[0] != 0x20 || payload[1] != 0x00) {
        return refuse("CODE LOAD", "Bad end frame");
    }
    receiving = false;
    if (nextPage != static_cast<std::size_t>(kCodePages)) {
        text = "CODE LOAD FAILED";
        text2 = std::to_string(nextPage) + " of 192 pages";
        return Verdict::Failed;
    }
    const std::uint16_t stored = le16(payload, 2);
    const std::uint16_t computed = crc16(std::span(image).first(kCodeChecked));
    if (stored != computed) {
        text = "CODE CRC ERROR";
        text2 = "Got " + hex4(computed) + " want " + hex4(stored);
        return Verdict::Failed;
    }
    running = image;
    crc = computed;
    text = "CODE LOADED  CRC " + hex4(computed);
    text2 = "Restarting";
    return Verdict::Loaded;
}

}  // namespace qtx::sim

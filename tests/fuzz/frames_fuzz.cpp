// Whole frames with good checksums through the console, so that the image, download-all and
// upload logic behind the receiver is reached, not only the checksum tests in front of it.
// Nothing may read or write outside the receive buffer, the pixel array or the surface, and
// progress never runs past its total.
//
// Input: a first byte choosing the exchange under way, then records:
//   byte 0 & 3: 0 a download of the screen image, 1 a Download All, 2 a key press,
//               3 a firmware upload; bit 2 autosave (to a folder that does not exist)
//   records, each an op byte:
//     op % 4 == 0  a frame as on the wire (6 header bytes, payload, payload checksum) arrives,
//                  in one receive event or split in two at (op >> 2) bytes
//     op % 4 == 1  a watchdog tick
//     op % 4 == 2  the next byte n, then n bytes arrive as they are
//     op % 4 == 3  the one-shot timer runs out
// The custom mutator edits this as a list of frames and sets their checksums right again.
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "console.hpp"
#include "console/code_image.hpp"
#include "console/crc16.hpp"
#include "link/frame.hpp"
#include "trap_host.hpp"

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t maxSize);

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Record {
    std::uint8_t op = 0;
    Bytes bytes;  // the frame, or the raw bytes
};

struct Input {
    std::uint8_t mode = 0;
    std::vector<Record> records;
};

Input parse(const std::uint8_t* data, std::size_t size) {
    Input in;
    if (size == 0) return in;
    in.mode = data[0];
    std::size_t pos = 1;
    while (pos < size) {
        Record r;
        r.op = data[pos++];
        std::size_t n = 0;
        if (r.op % 4 == 0) {
            const std::size_t left = size - pos;
            n = left < 4 ? left : qtx::payloadLength(std::span(data + pos, left));
            n = std::min(left, n == 0 ? qtx::kHeaderSize : n + 8);
        } else if (r.op % 4 == 2 && pos < size) {
            const std::size_t wanted = data[pos++];
            n = std::min(wanted, size - pos);
        }
        r.bytes.assign(data + pos, data + pos + n);
        pos += n;
        in.records.push_back(std::move(r));
    }
    return in;
}

Bytes serialise(const Input& in) {
    Bytes out{in.mode};
    for (const Record& r : in.records) {
        out.push_back(r.op);
        if (r.op % 4 == 2) out.push_back(static_cast<std::uint8_t>(r.bytes.size()));
        out.insert(out.end(), r.bytes.begin(), r.bytes.end());
    }
    return out;
}

// The frame rebuilt around its code and payload: sync, length and both sums right.
Bytes wellFormed(std::uint8_t code, const Bytes& payload) { return qtx::buildFrame(code, payload); }

std::uint8_t codeOf(const Bytes& frame) { return frame.size() > 1 ? frame[1] : 0; }

Bytes payloadOf(const Bytes& frame) {
    if (frame.size() <= qtx::kHeaderSize + 2) return {};
    return Bytes(frame.begin() + qtx::kHeaderSize, frame.end() - 2);
}

// A code image the QTX would take, written once: uploads read it from the disk.
const std::string& codeFile() {
    static const std::string path = [] {
        Bytes image(qtx::kCodeBytes);
        std::minstd_rand g(7);
        for (auto& b : image) b = static_cast<std::uint8_t>(g());
        const std::uint16_t crc = qtx::crc16(std::span(image).first(qtx::kCodeChecked));
        image[qtx::kCodeBytes - 2] = static_cast<std::uint8_t>(crc >> 8);
        image[qtx::kCodeBytes - 1] = static_cast<std::uint8_t>(crc & 0xFF);
        const auto p = std::filesystem::temp_directory_path() /
                       ("frames_fuzz_" + std::to_string(::getpid()) + ".bin");
        std::ofstream(p, std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()),
                   static_cast<std::streamsize>(image.size()));
        return p.string();
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Input in = parse(data, size);
    qtx::test::TrapHost host;
    qtx::Console console(host);
    console.Form_Load();
    console.files.autosave = (in.mode & 4) != 0;
    console.files.autofilename = "/nonexistent-folder-of-the-fuzzer/img";  // saves fail fast
    switch (in.mode & 3) {
        case 0:
            console.mnudownloadlight_Click();
            break;
        case 1:
            console.files.autosave = true;
            console.sendcommand(qtx::CMD_DOWNLOAD_ALL);
            break;
        case 2:
            console.cmdfocus_Click();
            break;
        case 3:
            host.fileAnswers.push_back(codeFile());
            console.mnuUploadFile_Click();
            break;
    }
    for (const Record& r : in.records) {
        switch (r.op % 4) {
            case 0:
            case 2: {
                const std::size_t cut = r.op % 4 == 0
                                            ? std::min<std::size_t>(r.op >> 2, r.bytes.size())
                                            : r.bytes.size();
                if (cut > 0) {
                    host.incoming.assign(r.bytes.begin(), r.bytes.begin() + static_cast<long>(cut));
                    console.onSerialEvent(qtx::SerialEvent::DataReceived);
                }
                if (cut < r.bytes.size()) {
                    host.incoming.assign(r.bytes.begin() + static_cast<long>(cut), r.bytes.end());
                    console.onSerialEvent(qtx::SerialEvent::DataReceived);
                }
                break;
            }
            case 1:
                console.watchdogTick();
                break;
            case 3:
                host.oneShotRunning = false;
                console.oneShotElapsed();
                break;
        }
        const int count = console.link.rxcount;
        if (count < 0 || count > static_cast<int>(qtx::kRxBufferSize)) __builtin_trap();
        if (count > 0 && console.link.rxbuffer[0] != qtx::kSync) __builtin_trap();
        if (console.record.imagedata.cells.size() !=
            static_cast<std::size_t>(std::max<int>(console.record.imagedata.width, 0)) *
                static_cast<std::size_t>(std::max<int>(console.record.imagedata.height, 0))) {
            __builtin_trap();
        }
        host.forget();
    }
    return 0;
}

extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size,
                                               std::size_t maxSize, unsigned int seed) {
    static constexpr std::uint8_t kCodes[] = {
        qtx::MSG_IMAGE_OFFER, qtx::MSG_FLASH_OFFER, qtx::MSG_BUFFER_STATUS, qtx::MSG_HEADER,
        qtx::MSG_ROW_RAW,     qtx::MSG_ACK,         qtx::MSG_ROW,           qtx::MSG_DISPLAY,
        qtx::MSG_NAK,         qtx::MSG_LINK_OK,     qtx::MSG_LINK_REQUEST};
    std::minstd_rand rng(seed);
    auto pick = [&](std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(rng() % n); };
    Input in = parse(data, size);
    bool fix = true;
    auto frameAt = [&]() -> Record* {
        std::vector<Record*> frames;
        for (Record& r : in.records) {
            if (r.op % 4 == 0) frames.push_back(&r);
        }
        return frames.empty() ? nullptr : frames[pick(frames.size())];
    };
    switch (rng() % 10) {
        case 0:
        case 1:
        case 2: {  // the payload of a frame: its bytes and its length
            if (Record* r = frameAt()) {
                Bytes p = payloadOf(r->bytes);
                const std::size_t used = p.size();
                p.resize(std::min<std::size_t>(used + 64, qtx::kRxBufferSize));
                p.resize(LLVMFuzzerMutate(p.data(), used, p.size()));
                r->bytes = wellFormed(codeOf(r->bytes), p);
            }
            break;
        }
        case 3:  // the code of a frame
            if (Record* r = frameAt()) {
                r->bytes = wellFormed(rng() % 4 == 0 ? static_cast<std::uint8_t>(rng())
                                                     : kCodes[pick(std::size(kCodes))],
                                      payloadOf(r->bytes));
            }
            break;
        case 4: {  // a new frame, a tick or a one-shot
            Record r;
            r.op = static_cast<std::uint8_t>(rng() % 2 == 0 ? (rng() & 0xFC) : 1 + 2 * (rng() % 2));
            if (r.op % 4 == 0) {
                Bytes p(pick(80));
                for (auto& b : p) b = static_cast<std::uint8_t>(rng());
                r.bytes = wellFormed(kCodes[pick(std::size(kCodes))], p);
            }
            in.records.insert(in.records.begin() + static_cast<long>(pick(in.records.size() + 1)),
                              std::move(r));
            break;
        }
        case 5:  // a record repeated: an answer that came twice
            if (!in.records.empty()) {
                const std::size_t k = pick(in.records.size());
                in.records.insert(in.records.begin() + static_cast<long>(k), in.records[k]);
            }
            break;
        case 6:  // a record lost
            if (!in.records.empty())
                in.records.erase(in.records.begin() + static_cast<long>(pick(in.records.size())));
            break;
        case 7:  // two records swapped, or the exchange under way changed
            if (in.records.size() >= 2) {
                std::swap(in.records[pick(in.records.size())], in.records[pick(in.records.size())]);
            } else {
                in.mode = static_cast<std::uint8_t>(rng());
            }
            break;
        case 8:  // where a frame is split, or what the op does
            if (!in.records.empty()) {
                Record& r = in.records[pick(in.records.size())];
                r.op = static_cast<std::uint8_t>((rng() & 0xFC) | (r.op & 3));
            }
            break;
        default:  // plain byte mutation, checksums left as they fall
            fix = false;
            break;
    }
    Bytes out;
    if (fix) {
        for (Record& r : in.records) {
            if (r.op % 4 == 0 && r.bytes.size() >= qtx::kHeaderSize) {
                r.bytes = wellFormed(codeOf(r.bytes), payloadOf(r.bytes));
            }
        }
        out = serialise(in);
    } else {
        out.assign(data, data + size);
        out.resize(std::max<std::size_t>(size, 1) + 16);
        out.resize(LLVMFuzzerMutate(out.data(), size, out.size()));
    }
    while (out.size() > maxSize && !in.records.empty()) {
        in.records.pop_back();
        out = serialise(in);
    }
    if (out.size() > maxSize) out.resize(maxSize);
    std::copy(out.begin(), out.end(), data);
    return out.size();
}

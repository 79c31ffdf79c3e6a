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

#include <filesystem>
#include <random>

#include "fuzz_support.hpp"

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
    for (std::size_t pos = 1; pos < size;) {
        Record r{data[pos++], {}};
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
        qtx::test::storeCodeCrc(image);
        const auto p = std::filesystem::temp_directory_path() /
                       ("frames_fuzz_" + std::to_string(::getpid()) + ".bin");
        qtx::test::writeFile(p.string(), image);
        return p.string();
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Input in = parse(data, size);
    qtx::test::FuzzConsole f((in.mode & 4) != 0);
    qtx::Console& console = f.console;
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
            f.host.fileAnswers.push_back(codeFile());
            console.mnuUploadFile_Click();
            break;
    }
    for (const Record& r : in.records) {
        if (r.op % 2 == 0) {
            const std::size_t cut =
                r.op % 4 == 0 ? std::min<std::size_t>(r.op >> 2, r.bytes.size()) : r.bytes.size();
            for (const auto& [from, to] : {std::pair{std::size_t{0}, cut}, {cut, r.bytes.size()}}) {
                if (from == to) continue;
                f.host.incoming.assign(r.bytes.begin() + static_cast<long>(from),
                                       r.bytes.begin() + static_cast<long>(to));
                console.onSerialEvent(qtx::SerialEvent::DataReceived);
            }
        } else if (r.op % 4 == 1) {
            console.watchdogTick();
        } else {
            f.host.oneShotRunning = false;
            console.oneShotElapsed();
        }
        f.check();
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
    auto code = [&] { return kCodes[pick(std::size(kCodes))]; };
    Input in = parse(data, size);
    auto& records = in.records;
    auto at = [&](std::size_t k) { return records.begin() + static_cast<long>(k); };
    Record* frame = nullptr;  // a frame picked at random, if there is one
    std::vector<Record*> frames;
    for (Record& r : records) {
        if (r.op % 4 == 0) frames.push_back(&r);
    }
    if (!frames.empty()) frame = frames[pick(frames.size())];
    bool fix = true;
    switch (rng() % 10) {
        case 0:
        case 1:
        case 2:  // the payload of a frame: its bytes and its length
            if (frame) {
                Bytes p = payloadOf(frame->bytes);
                const std::size_t used = p.size();
                p.resize(std::min<std::size_t>(used + 64, qtx::kRxBufferSize));
                p.resize(LLVMFuzzerMutate(p.data(), used, p.size()));
                frame->bytes = qtx::buildFrame(codeOf(frame->bytes), p);
            }
            break;
        case 3:  // the code of a frame
            if (frame) {
                const std::uint8_t c = rng() % 4 == 0 ? static_cast<std::uint8_t>(rng()) : code();
                frame->bytes = qtx::buildFrame(c, payloadOf(frame->bytes));
            }
            break;
        case 4: {  // a new frame, a tick or a one-shot
            Record r{
                static_cast<std::uint8_t>(rng() % 2 == 0 ? (rng() & 0xFC) : 1 + 2 * (rng() % 2)),
                {}};
            if (r.op % 4 == 0) {
                Bytes p(pick(80));
                for (auto& b : p) b = static_cast<std::uint8_t>(rng());
                r.bytes = qtx::buildFrame(code(), p);
            }
            records.insert(at(pick(records.size() + 1)), std::move(r));
            break;
        }
        case 5:  // a record repeated: an answer that came twice
            if (!records.empty()) {
                const std::size_t k = pick(records.size());
                records.insert(at(k), records[k]);
            }
            break;
        case 6:  // a record lost
            if (!records.empty()) records.erase(at(pick(records.size())));
            break;
        case 7:  // two records swapped, or the exchange under way changed
            if (records.size() >= 2) {
                std::swap(records[pick(records.size())], records[pick(records.size())]);
            } else {
                in.mode = static_cast<std::uint8_t>(rng());
            }
            break;
        case 8:  // where a frame is split, or what the op does
            if (!records.empty()) {
                Record& r = records[pick(records.size())];
                r.op = static_cast<std::uint8_t>((rng() & 0xFC) | (r.op & 3));
            }
            break;
        default:  // plain byte mutation, checksums left as they fall
            fix = false;
            break;
    }
    Bytes out;
    if (fix) {
        for (Record& r : records) {
            if (r.op % 4 == 0 && r.bytes.size() >= qtx::kHeaderSize) {
                r.bytes = qtx::buildFrame(codeOf(r.bytes), payloadOf(r.bytes));
            }
        }
        out = serialise(in);
    } else {
        out.assign(data, data + size);
        out.resize(std::max<std::size_t>(size, 1) + 16);
        out.resize(LLVMFuzzerMutate(out.data(), size, out.size()));
    }
    while (out.size() > maxSize && !records.empty()) {
        records.pop_back();
        out = serialise(in);
    }
    if (out.size() > maxSize) out.resize(maxSize);
    std::copy(out.begin(), out.end(), data);
    return out.size();
}

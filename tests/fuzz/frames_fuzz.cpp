// Whole frames with good checksums through the console, so that the image, download-all and
// upload logic behind the receiver is reached, not only the checksum tests in front of it.
// Input: a mode byte, then records, each an op byte and what it carries.
//   mode & 3: a download of the screen image, a Download All, a key press or a firmware
//             upload under way; mode & 4: autosave (to a folder that does not exist)
//   op % 4: 0 a frame as on the wire arrives, split in two at (op >> 2) bytes; 1 a watchdog
//           tick; 2 a length byte n, then n bytes arrive as they are; 3 the one-shot runs out
// The custom mutator edits this as a list of frames and sets their checksums right again.
#include <random>

#include "fuzz_support.hpp"

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t maxSize);

namespace {

using qtx::test::Bytes;

struct Record {
    std::uint8_t op = 0;
    Bytes bytes;  // the frame, or the raw bytes
};

struct Input {
    std::uint8_t mode = 0;
    std::vector<Record> records;
};

Input parse(const std::uint8_t* data, std::size_t size) {
    Input in{size > 0 ? data[0] : std::uint8_t{0}, {}};
    for (std::size_t pos = 1; pos < size;) {
        const std::uint8_t op = data[pos++];
        std::size_t n = op % 4 == 0 ? qtx::payloadLength(std::span(data + pos, size - pos)) : 0;
        if (op % 4 == 0) n = n == 0 ? qtx::kHeaderSize : n + 8;  // as long as its header says
        if (op % 4 == 2 && pos < size) n = data[pos++];
        n = std::min(n, size - pos);  // or what is left
        in.records.push_back({op, Bytes(data + pos, data + pos + n)});
        pos += n;
    }
    return in;
}

std::uint8_t codeOf(const Bytes& frame) { return frame.size() > 1 ? frame[1] : 0; }

// Between the 6 header bytes and the 2 of the payload checksum.
Bytes payloadOf(const Bytes& f) { return f.size() > 8 ? Bytes(&f[6], &f[f.size() - 2]) : Bytes(); }

// With every whole frame's checksums set right.
Bytes serialise(const Input& in) {
    Bytes out{in.mode};
    for (const Record& r : in.records) {
        const bool whole = r.op % 4 == 0 && r.bytes.size() >= qtx::kHeaderSize;
        const Bytes bytes = whole ? qtx::buildFrame(codeOf(r.bytes), payloadOf(r.bytes)) : r.bytes;
        out.push_back(r.op);
        if (r.op % 4 == 2) out.push_back(static_cast<std::uint8_t>(r.bytes.size()));
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Input in = parse(data, size);
    const int exchange = in.mode & 3;
    qtx::test::FuzzConsole f((in.mode & 4) != 0);
    if (exchange == 0) f.console.mnudownloadlight_Click();
    if (exchange == 1) f.downloadAll();
    if (exchange == 2) f.console.cmdfocus_Click();
    if (exchange == 3) f.beginUpload(0);
    for (const Record& r : in.records) {
        if (r.op % 4 == 1) {
            f.console.watchdogTick();
        } else if (r.op % 4 == 3) {
            f.host.oneShotRunning = false;
            f.console.oneShotElapsed();
        } else {  // a frame in two pieces, cut at (op >> 2) bytes, or raw bytes in one
            const std::span all(r.bytes);
            const auto cut = std::min<std::size_t>(r.op % 4 == 0 ? r.op >> 2 : 0, all.size());
            for (const auto piece : {all.first(cut), all.subspan(cut)})
                if (!piece.empty()) f.arrive(piece);
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
    auto code = [&] {
        return rng() % 4 == 0 ? std::uint8_t(rng()) : kCodes[pick(std::size(kCodes))];
    };
    Input in = parse(data, size);
    auto& records = in.records;
    auto at = [&](std::size_t k) { return records.begin() + static_cast<long>(k); };
    std::vector<Record*> frames;  // one of them picked at random, if there is one
    for (Record& r : records)
        if (r.op % 4 == 0) frames.push_back(&r);
    Record* frame = frames.empty() ? nullptr : frames[pick(frames.size())];
    const std::size_t k = pick(records.size());  // a record picked at random
    const unsigned how = rng() % 10;
    if (how < 4 && frame) {  // the payload of a frame (its bytes and its length), or its code
        Bytes p = payloadOf(frame->bytes);
        const std::size_t used = p.size();
        p.resize(std::min<std::size_t>(used + 64, qtx::kRxBufferSize));
        p.resize(how < 3 ? LLVMFuzzerMutate(p.data(), used, p.size()) : used);
        frame->bytes = qtx::buildFrame(how < 3 ? codeOf(frame->bytes) : code(), p);
    } else if (how == 4) {  // a new frame, a tick or a one-shot
        Bytes p(pick(80));
        for (auto& b : p) b = static_cast<std::uint8_t>(rng());
        const auto op =
            static_cast<std::uint8_t>(rng() % 2 == 0 ? rng() & 0xFC : 1 + 2 * (rng() % 2));
        records.insert(at(pick(records.size() + 1)),
                       {op, op % 4 == 0 ? qtx::buildFrame(code(), p) : Bytes()});
    } else if (how == 5 && !records.empty()) {  // a record repeated: an answer that came twice
        records.insert(at(k), records[k]);
    } else if (how == 6 && !records.empty()) {  // a record lost
        records.erase(at(k));
    } else if (how == 7 && records.size() >= 2) {  // two records swapped
        std::swap(records[k], records[pick(records.size())]);
    } else if (how == 7) {  // the exchange under way changed
        in.mode = static_cast<std::uint8_t>(rng());
    } else if (how == 8 && !records.empty()) {  // where a frame is split, or what the op does
        records[k].op = static_cast<std::uint8_t>((rng() & 0xFC) | (records[k].op & 3));
    }
    Bytes out = serialise(in);
    if (how == 9) {  // plain byte mutation, checksums left as they fall
        out.assign(data, data + size);
        out.resize(std::max<std::size_t>(size, 1) + 16);
        out.resize(LLVMFuzzerMutate(out.data(), size, out.size()));
    }
    while (out.size() > maxSize && !records.empty()) {
        records.pop_back();
        out = serialise(in);
    }
    out.resize(std::min(out.size(), maxSize));
    std::copy(out.begin(), out.end(), data);
    return out.size();
}

// Writes the small seed corpora of the fuzz targets from real exchanges with the simulated
// QTX, each in the input layout its target reads:
//   build/tests/make_fuzz_seeds tests/fuzz/corpus
#include <cstdio>
#include <filesystem>

#include "fuzz_support.hpp"
#include "model/qtx_model.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

constexpr std::size_t kSeedBytes = 4000;  // small seeds keep the fuzzers' inputs short

fs::path root;

void put(const std::string& target, const std::string& name, const Bytes& bytes) {
    fs::create_directories(root / target);
    qtx::test::writeFile((root / target / name).string(), bytes);
}

template <class It>
void append(Bytes& to, It from, std::size_t n) {
    to.insert(to.end(), from, from + static_cast<long>(n));
}

// An exchange started on a fresh console, the QTX's frames (to the console) captured one by
// one, in each target's layout.
template <class Start>
void capture(const std::string& name, std::uint8_t mode, Start start) {
    qtx::test::FakeHost host;
    qtx::Console console(host);
    qtx::sim::QtxModel model;
    console.Form_Load();
    std::size_t fed = host.written.size();
    start(console);
    std::vector<Bytes> frames;
    Bytes requests;  // console to QTX
    std::size_t bytes = 0;
    for (int round = 0; round < 10000 && bytes < kSeedBytes; ++round) {
        bool moved = false;
        for (; fed < host.written.size(); ++fed, moved = true) {
            model.receive(host.written[fed]);
            append(requests, host.written[fed].begin(), host.written[fed].size());
        }
        for (const qtx::sim::Emission& e : model.takeEmissions()) {
            frames.push_back(e.bytes);
            bytes += e.bytes.size();
            host.incoming = e.bytes;
            console.onSerialEvent(qtx::SerialEvent::DataReceived);
            moved = true;
        }
        if (!moved) break;
    }
    Bytes framed{mode}, receiver{0x10}, reception{0x00}, model_;
    for (const Bytes& f : frames) {
        framed.push_back(0x00);
        append(framed, f.begin(), f.size());
        receiver.push_back(static_cast<std::uint8_t>((f.size() + 7) / 8));
        append(receiver, f.begin(), f.size());
        receiver.resize(receiver.size() + (8 - f.size() % 8) % 8, 0);
        for (std::size_t at = 0; at < f.size(); at += 961) {
            const std::size_t n = std::min<std::size_t>(961, f.size() - at);
            const std::size_t k = (n - 1 + 63) / 64;  // chunks of k * 64 + 1 bytes
            reception.push_back(static_cast<std::uint8_t>(k << 4));
            append(reception, f.begin() + static_cast<long>(at), std::min(n, k * 64 + 1));
        }
        if (f.size() > 8 && f[1] == qtx::MSG_HEADER)
            put("header_fuzz", name, Bytes(f.begin() + 6, f.end() - 2));
        if (f.size() > 8 && (f[1] == qtx::MSG_ROW || f[1] == qtx::MSG_ROW_RAW)) {
            Bytes row{0x40, 0x01};  // width 320; the reader takes what it needs
            append(row, f.begin() + 6, f.size() - 8);
            put("rowcodec_fuzz", name, row);
        }
    }
    framed.push_back(0x01);  // and a tick at the end
    for (std::size_t at = 0; at < requests.size(); at += 4 * 255) {
        const std::size_t n = std::min<std::size_t>(4 * 255, requests.size() - at);
        model_.push_back(static_cast<std::uint8_t>((n + 3) / 4));
        append(model_, requests.begin() + static_cast<long>(at), n);
    }
    put("frames_fuzz", name, framed);
    put("receiver_fuzz", name, receiver);
    put("reception_fuzz", name, reception);
    put("model_fuzz", name, model_);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds CORPUS-FOLDER\n");
        return 2;
    }
    root = argv[1];
    capture("key", 2, [](qtx::Console& c) { c.cmdfocus_Click(); });
    capture("screen", 0, [](qtx::Console& c) { c.mnudownloadlight_Click(); });
    capture("all", 1, [](qtx::Console& c) {
        c.files.autosave = true;
        c.files.autofilename = "/nonexistent-folder-of-the-fuzzer/img";
        c.sendcommand(qtx::CMD_DOWNLOAD_ALL);
    });
    // Small images of each kind, for the header and row readers and for the files they
    // become: a tiny window, a single row, an odd window of uncompressed rows.
    for (int n : {12, 20, 6}) {
        const std::string name = "buffer" + std::to_string(n);
        qtx::test::TempDir tmp;
        capture(name, 0, [&](qtx::Console& c) {
            c.files.autosave = true;
            c.files.autofilename = tmp.path("img");
            c.reception.headerpending = true;
            c.reception.bufferindex = static_cast<std::int16_t>(n);
            c.requestheader(static_cast<std::int16_t>(n));
        });
        for (const auto& e : fs::directory_iterator(tmp.path(""))) {
            const Bytes file = qtx::test::TempDir::read(e.path().string());
            const std::string ext = e.path().extension().string();
            if (ext == ".trk") put("tracklist_fuzz", name, file);
            if (ext == ".QTX" && file.size() <= 8 * kSeedBytes) {
                put("kelm_fuzz", name, file);
                put("fits_fuzz", name, file);
            }
        }
    }
    // Code files: short, of the right length with a failing CRC, and asked to be made good.
    Bytes code{0x00, 0x12, 0x34};
    put("firmware_fuzz", "short", code);
    code.assign(257, 0x5A);
    code[0] = 0x01;
    put("firmware_fuzz", "bad-crc", code);
    code[0] = 0x06;
    put("firmware_fuzz", "good-crc", code);
    return 0;
}

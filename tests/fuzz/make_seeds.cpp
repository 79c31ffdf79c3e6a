// Writes the small seed corpora of the fuzz targets from real exchanges with the simulated
// QTX, each in the input layout its target reads:
//   build/tests/make_fuzz_seeds tests/fuzz/corpus
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "console.hpp"
#include "fake_host.hpp"
#include "link/frame.hpp"
#include "model/qtx_model.hpp"
#include "temp_dir.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

constexpr std::size_t kSeedBytes = 4000;  // small seeds keep the fuzzers' inputs short

fs::path root;

void put(const std::string& target, const std::string& name, const Bytes& bytes) {
    fs::create_directories(root / target);
    std::ofstream(root / target / name, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

Bytes slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// An exchange started on a fresh console, the QTX's frames captured one by one.
struct Exchange {
    std::vector<Bytes> frames;  // QTX to console
    Bytes requests;             // console to QTX
};

template <class Start>
Exchange capture(Start start, qtx::test::FakeHost& host, qtx::Console& console) {
    qtx::sim::QtxModel model;
    Exchange ex;
    console.Form_Load();
    std::size_t fed = host.written.size();
    start();
    std::size_t bytes = 0;
    for (int round = 0; round < 10000 && bytes < kSeedBytes; ++round) {
        bool moved = false;
        for (; fed < host.written.size(); ++fed) {
            model.receive(host.written[fed]);
            ex.requests.insert(ex.requests.end(), host.written[fed].begin(),
                               host.written[fed].end());
            moved = true;
        }
        for (const qtx::sim::Emission& e : model.takeEmissions()) {
            ex.frames.push_back(e.bytes);
            bytes += e.bytes.size();
            host.incoming = e.bytes;
            console.onSerialEvent(qtx::SerialEvent::DataReceived);
            moved = true;
        }
        if (!moved) break;
    }
    return ex;
}

void writeAll(const std::string& name, std::uint8_t mode, const Exchange& ex) {
    Bytes frames{mode}, receiver{0x10}, reception{0x00}, model;
    for (const Bytes& f : ex.frames) {
        frames.push_back(0x00);
        frames.insert(frames.end(), f.begin(), f.end());
        receiver.push_back(static_cast<std::uint8_t>((f.size() + 7) / 8));
        receiver.insert(receiver.end(), f.begin(), f.end());
        receiver.resize(receiver.size() + (8 - f.size() % 8) % 8, 0);
        for (std::size_t at = 0; at < f.size(); at += 961) {
            const std::size_t n = std::min<std::size_t>(961, f.size() - at);
            const std::size_t k = (n - 1 + 63) / 64;  // chunks of k * 64 + 1 bytes
            reception.push_back(static_cast<std::uint8_t>((k << 4) | 0));
            reception.insert(reception.end(), f.begin() + static_cast<long>(at),
                             f.begin() + static_cast<long>(at + std::min(n, k * 64 + 1)));
        }
    }
    frames.push_back(0x01);  // and a tick at the end
    for (std::size_t at = 0; at < ex.requests.size(); at += 4 * 255) {
        const std::size_t n = std::min<std::size_t>(4 * 255, ex.requests.size() - at);
        model.push_back(static_cast<std::uint8_t>((n + 3) / 4));
        model.insert(model.end(), ex.requests.begin() + static_cast<long>(at),
                     ex.requests.begin() + static_cast<long>(at + n));
    }
    put("frames_fuzz", name, frames);
    put("receiver_fuzz", name, receiver);
    put("reception_fuzz", name, reception);
    put("model_fuzz", name, model);
    for (const Bytes& f : ex.frames) {
        if (f.size() > 8 && f[1] == qtx::MSG_HEADER)
            put("header_fuzz", name, Bytes(f.begin() + 6, f.end() - 2));
        if (f.size() > 8 && (f[1] == qtx::MSG_ROW || f[1] == qtx::MSG_ROW_RAW)) {
            Bytes row{0x40, 0x01};  // width 320; the reader takes what it needs
            row.insert(row.end(), f.begin() + 6, f.end() - 2);
            put("rowcodec_fuzz", name, row);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds CORPUS-FOLDER\n");
        return 2;
    }
    root = argv[1];
    {
        qtx::test::FakeHost host;
        qtx::Console c(host);
        writeAll("key", 2, capture([&] { c.cmdfocus_Click(); }, host, c));
    }
    {
        qtx::test::FakeHost host;
        qtx::Console c(host);
        writeAll("screen", 0, capture([&] { c.mnudownloadlight_Click(); }, host, c));
    }
    {
        qtx::test::FakeHost host;
        qtx::Console c(host);
        writeAll("all", 1,
                 capture(
                     [&] {
                         c.files.autosave = true;
                         c.files.autofilename = "/nonexistent-folder-of-the-fuzzer/img";
                         c.sendcommand(qtx::CMD_DOWNLOAD_ALL);
                     },
                     host, c));
    }
    // Small images of each kind, for the header and row readers and for the files they
    // become: a tiny window, a single row, an odd window of uncompressed rows.
    for (int n : {12, 20, 6}) {
        qtx::test::FakeHost host;
        qtx::Console c(host);
        qtx::test::TempDir tmp;
        const Exchange ex = capture(
            [&] {
                c.files.autosave = true;
                c.files.autofilename = tmp.path("img");
                c.reception.headerpending = true;
                c.reception.bufferindex = static_cast<std::int16_t>(n);
                c.requestheader(static_cast<std::int16_t>(n));
            },
            host, c);
        writeAll("buffer" + std::to_string(n), 0, ex);
        for (const auto& e : fs::directory_iterator(fs::path(tmp.path("x")).parent_path())) {
            const Bytes file = slurp(e.path());
            const std::string ext = e.path().extension().string();
            if (ext == ".trk") put("tracklist_fuzz", "buffer" + std::to_string(n), file);
            if (ext == ".QTX" && file.size() <= 8 * kSeedBytes) {
                put("kelm_fuzz", "buffer" + std::to_string(n), file);
                put("fits_fuzz", "buffer" + std::to_string(n), file);
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

// Writes the small seed corpora of the fuzz targets from real exchanges with the simulated
// QTX, each in the input layout its target reads:
//   build/tests/make_fuzz_seeds tests/fuzz/corpus
#include <cstdio>
#include <filesystem>

#include "../sim/fault_matrix.hpp"
#include "fuzz_support.hpp"
#include "model/qtx_model.hpp"

namespace {

using qtx::test::Bytes;
using Span = std::span<const std::uint8_t>;
namespace fs = std::filesystem;

constexpr std::size_t kSeedBytes = 4000;  // small seeds keep the fuzzers' inputs short

fs::path root;

void put(const std::string& target, const std::string& name, Span bytes, Bytes prefix = {}) {
    prefix.insert(prefix.end(), bytes.begin(), bytes.end());
    fs::create_directories(root / target);
    qtx::test::TempDir::write((root / target / name).string(),
                              std::string(prefix.begin(), prefix.end()));
}

void append(Bytes& to, Span bytes) { to.insert(to.end(), bytes.begin(), bytes.end()); }

// The bytes in pieces of at most `most`, each after a byte `length` makes of its size.
void pieces(Bytes& to, Span bytes, std::size_t most, std::size_t (*length)(std::size_t)) {
    for (std::size_t at = 0; at < bytes.size(); at += most) {
        const Span piece = bytes.subspan(at, std::min(most, bytes.size() - at));
        to.push_back(static_cast<std::uint8_t>(length(piece.size())));
        append(to, piece);
    }
}

// An exchange with the simulated QTX, its frames written in each target's input layout.
void capture(const std::string& name, std::uint8_t mode, auto start) {
    qtx::test::FuzzConsole f(false);
    qtx::sim::QtxModel model;
    std::size_t fed = f.host.written.size(), bytes = 0;
    start(f, model);
    Bytes framed{mode}, receiver{0x10}, reception{0x00}, requests, model_;
    for (bool moved = true; moved && bytes < kSeedBytes;) {
        moved = fed < f.host.written.size();
        for (; fed < f.host.written.size(); ++fed) {
            model.receive(f.host.written[fed]);
            append(requests, f.host.written[fed]);
        }
        for (const qtx::sim::Emission& e : model.takeEmissions()) {
            const Span frame(e.bytes);
            framed.push_back(0x00);
            append(framed, frame);
            pieces(receiver, frame, 8 * 255, [](std::size_t n) { return (n + 7) / 8; });
            receiver.resize(receiver.size() + (8 - frame.size() % 8) % 8, 0);
            pieces(reception, frame, 961, [](std::size_t n) { return (n + 62) / 64 << 4; });
            const Span payload = frame.size() > 8 ? frame.subspan(6, frame.size() - 8) : Span();
            if (!payload.empty() && frame[1] == qtx::MSG_HEADER) put("header_fuzz", name, payload);
            if (!payload.empty() && (frame[1] == qtx::MSG_ROW || frame[1] == qtx::MSG_ROW_RAW))
                put("rowcodec_fuzz", name, payload, {0x40, 0x01});  // width 320 is enough
            bytes += frame.size();
            f.arrive(frame);
            moved = true;
        }
    }
    framed.push_back(0x01);  // and a tick at the end
    pieces(model_, requests, 4 * 255, [](std::size_t n) { return (n + 3) / 4; });
    put("frames_fuzz", name, framed);
    put("receiver_fuzz", name, receiver);
    put("reception_fuzz", name, reception);
    put("model_fuzz", name, model_);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return std::fprintf(stderr, "usage: make_seeds CORPUS-FOLDER\n"), 2;
    root = argv[1];
    using Fuzz = qtx::test::FuzzConsole;
    using Model = qtx::sim::QtxModel;
    capture("key", 2, [](Fuzz& f, Model&) { f.console.cmdfocus_Click(); });
    capture("screen", 0, [](Fuzz& f, Model&) { f.console.mnudownloadlight_Click(); });
    capture("all", 1, [](Fuzz& f, Model&) { f.downloadAll(); });
    // Small images of each kind, for the header and row readers and for the files they
    // become: a tiny window, a single row, an odd window of uncompressed rows. Each is put
    // on the QTX's screen and fetched from there, its files saved automatically.
    for (int n : {12, 20, 6}) {
        const std::string name = "buffer" + std::to_string(n);
        qtx::test::TempDir tmp;
        capture(name, 0, [&](Fuzz& f, Model& m) {
            qtx::sim::matrix::showOnScreen(m, n);
            f.host.fileAnswers.push_back(tmp.path("img"));
            f.console.mnuautosave_Click();
            f.console.mnudownloadlight_Click();
        });
        for (const auto& e : fs::directory_iterator(tmp.path(""))) {
            const Bytes file = qtx::test::TempDir::read(e.path().string());
            const std::string ext = e.path().extension().string();
            if (ext == ".trk") put("tracklist_fuzz", name, file);
            for (const char* target : {"kelm_fuzz", "fits_fuzz"})
                if (ext == ".QTX" && file.size() <= 8 * kSeedBytes) put(target, name, file);
        }
    }
    // Code files: short, of the right length with a failing CRC, and asked to be made good.
    put("firmware_fuzz", "short", Bytes{0x00, 0x12, 0x34});
    put("firmware_fuzz", "bad-crc", Bytes(256, 0x5A), {0x01});
    put("firmware_fuzz", "good-crc", Bytes(256, 0x5A), {0x06});
    return 0;
}

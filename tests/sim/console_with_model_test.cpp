// The console's core on a fake host wired to the simulated QTX: what the console writes
// goes to the model, what the model answers arrives as receive events.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "console.hpp"
#include "console/crc16.hpp"
#include "fake_host.hpp"
#include "model/qtx_model.hpp"
#include "sim_support.hpp"
#include "temp_dir.hpp"

#include <filesystem>

namespace qtx::sim::test {
namespace {

using qtx::test::FakeHost;

class Bench {
  public:
    explicit Bench(const ModelOptions& options = {}, std::size_t pieces = 0)
        : model(options), piece(pieces) {}

    // Moves bytes both ways until neither side has anything more to say. With a piece
    // size the answers arrive in several receive events, as from a real port.
    void pump() {
        for (int round = 0; round < 5000; ++round) {
            bool moved = false;
            while (fed < host.written.size()) {
                model.receive(host.written[fed++]);
                moved = true;
            }
            const Bytes out = model.takeOutput();
            const std::size_t step = piece == 0 ? std::max<std::size_t>(out.size(), 1) : piece;
            for (std::size_t at = 0; at < out.size(); at += step) {
                const std::size_t end = std::min(out.size(), at + step);
                host.incoming.insert(host.incoming.end(), out.begin() + static_cast<long>(at),
                                     out.begin() + static_cast<long>(end));
                console.onSerialEvent(SerialEvent::DataReceived);
                moved = true;
            }
            if (!moved) return;
        }
        FAIL() << "the exchange never settled";
    }

    void start() {
        console.Form_Load();
        pump();
    }

    std::string mirrored() const { return model.displayLine(0) + "\r\n" + model.displayLine(1); }
    std::string pc() const { return host.text(TextBox::PCtext); }
    std::string qtx() const { return host.text(TextBox::QTXText); }
    bool wrote(const Bytes& frame) const {
        for (const auto& w : host.written) {
            if (Bytes(w.begin(), w.begin() + static_cast<long>(std::min(w.size(), frame.size()))) ==
                frame)
                return true;
        }
        return false;
    }

    FakeHost host;
    Console console{host};
    QtxModel model;

  private:
    std::size_t piece;
    std::size_t fed = 0;
};

// The image the console holds is exactly the one in the model's buffer.
void expectSameImage(const Console& console, const ImageBuffer& buffer, int n) {
    const ImageRecord& r = console.record;
    ASSERT_EQ(r.imagewidth, buffer.header.width) << "buffer " << n;
    ASSERT_EQ(r.imageheight, buffer.header.height) << "buffer " << n;
    EXPECT_EQ(r.imagedata.cells, buffer.pixels) << "buffer " << n;
}

TEST(ConsoleWithModel, EveryKindOfBufferArrivesWhole) {
    // Full frame, window, summed, mosaics, raw rows, binned, tiny, a single row, one column.
    for (int n : {0, 1, 2, 4, 5, 6, 9, 12, 20, 25}) {
        for (std::size_t piece : {0U, 97U}) {
            Bench bench({}, piece);
            bench.start();
            bench.console.reception.headerpending = true;
            bench.console.reception.bufferindex = static_cast<std::int16_t>(n);
            bench.console.requestheader(static_cast<std::int16_t>(n));
            bench.pump();
            ASSERT_TRUE(bench.console.reception.imagecomplete) << "buffer " << n;
            expectSameImage(bench.console, bench.model.buffer(n), n);
            const ImageBuffer& b = bench.model.buffer(n);
            if (b.header.numexposures > 1 || (b.header.flags & (kFlagMosaic40 | kFlagMosaic6))) {
                EXPECT_TRUE(bench.wrote(rowRequest(5, 200, 0, 320, static_cast<unsigned>(n))));
                for (std::size_t k = 0; k < 320; ++k) {
                    EXPECT_EQ(bench.console.reception.tracklist[k], b.trackrow[k]) << n;
                }
            }
        }
    }
}

// A code image the QTX will take: random code, its CRC stored high byte first.
Bytes goodCodeImage(std::uint64_t seed) {
    Rng rng(seed);
    Bytes image(kCodeBytes);
    for (auto& b : image) b = static_cast<std::uint8_t>(rng.next() & 0xFF);
    const std::uint16_t crc = crc16(std::span(image).first(kCodeChecked));
    image[kCodeBytes - 2] = static_cast<std::uint8_t>(crc >> 8);
    image[kCodeBytes - 1] = static_cast<std::uint8_t>(crc & 0xFF);
    return image;
}

// Runs an upload to its end, letting time pass whenever the line falls quiet: the watchdog
// ticks while it runs, else the one-shot timer runs out.
void uploadWithTicks(Bench& bench, const Bytes& image) {
    const auto path = std::filesystem::path(::testing::TempDir()) / "model_upload.bin";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    bench.host.fileAnswers.push_back(path.string());
    bench.console.mnuUploadFile_Click();
    std::filesystem::remove(path);
    for (int step = 0; step < 5000; ++step) {
        bench.pump();
        bench.model.lineIdle();
        if (bench.host.timerRunning) {
            bench.console.watchdogTick();
        } else if (bench.host.oneShotRunning) {
            bench.host.oneShotRunning = false;
            bench.console.oneShotElapsed();
        } else {
            return;
        }
    }
    FAIL() << "the upload never settled";
}

TEST(ConsoleWithModel, UploadIsVerifiedByTheQtxThroughLostAndDamagedAnswers) {
    const std::string success = "Code succesfully uploaded - QTX restarting";
    // After the link is up the QTX answers the begin frame with frames 2 (MSG_ACK) and 3 (its
    // display), page p with frame 4 + p, and the end frame with frame 196.
    FaultPlan clean, lost, damaged, endLost, silent;
    lost.drop = 0.05;
    lost.seed = 3;
    damaged.corrupt = 0.05;
    damaged.seed = 5;
    endLost.dropFrames = {196};
    silent.silent = true;
    const struct {
        const char* what;
        FaultPlan plan;
        bool loaded;     // the QTX runs the new code
        bool confirmed;  // the console says so
        bool resent;
    } cases[] = {
        {"clean line", clean, true, true, false},
        {"lost acknowledgements", lost, true, true, true},
        {"damaged acknowledgements", damaged, true, true, true},
        {"answer to the end frame lost", endLost, true, false, false},
        {"silent QTX", silent, false, false, true},
    };
    const Bytes image = goodCodeImage(11);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Bench bench;
        bench.start();
        ASSERT_EQ(bench.model.framesSent(), 1U);
        bench.model.setFaults(c.plan);
        ASSERT_NO_FATAL_FAILURE(uploadWithTicks(bench, image));

        int begins = 0, pages = 0, ends = 0;
        bool confirmed = false;
        for (const auto& w : bench.host.written) {
            begins += w[1] == 0xFD ? 1 : 0;
            pages += w[1] == 0xFC ? 1 : 0;
            ends += w[1] == 0xFA ? 1 : 0;
        }
        for (const auto& t : bench.host.texts) confirmed = confirmed || t.text == success;
        EXPECT_EQ(bench.model.code().code() == image, c.loaded);
        EXPECT_EQ(confirmed, c.confirmed);
        EXPECT_EQ(bench.pc(), c.confirmed ? success : "Communication Failed");
        EXPECT_EQ(begins > 1 || pages > 192, c.resent);
        EXPECT_EQ(ends, c.loaded ? 1 : 0);
        EXPECT_EQ(bench.console.link.pendingop, c.confirmed ? PendingOp::Key
                                                : c.loaded  ? PendingOp::CodeEnd
                                                            : PendingOp::CodeBegin);
        // Remote operation comes back two seconds after the QTX took its new code.
        if (c.loaded) {
            EXPECT_EQ(bench.model.remote(), c.confirmed);
        }
        EXPECT_FALSE(bench.host.progressVisible);
    }
}

}  // namespace
}  // namespace qtx::sim::test

namespace qtx::sim::test {
namespace {

TEST(ConsoleWithModel, DownloadAllSavesEveryFilledBufferAndEachLoadsBack) {
    qtx::test::TempDir tmp;
    Bench bench;
    bench.start();
    bench.host.fileAnswers.push_back(tmp.path("night.QTX"));
    bench.console.mnuflashdownload_Click();
    bench.pump();
    EXPECT_EQ(bench.host.written.back(), frameOf(2));
    EXPECT_EQ(bench.model.lastSaveReport(), 0);

    int number = 0;
    for (int n = 0; n < 32; ++n) {
        if ((bench.model.bufferBitmap() >> n & 1U) == 0) continue;
        const ImageBuffer& b = bench.model.buffer(n);
        ++number;
        const std::string name = "night" + std::string(number < 10 ? "00" : "0") + std::to_string(number);
        const bool summed = b.header.numexposures > 1;
        const bool mosaic = (b.header.flags & (kFlagMosaic40 | kFlagMosaic6)) != 0;
        EXPECT_EQ(std::filesystem::exists(tmp.path(name + ".trk")), summed) << name;
        EXPECT_EQ(std::filesystem::exists(tmp.path(name + ".txt")), mosaic) << name;
        if (b.header.height == 0) continue;  // announced but empty: nothing to compare
        bench.host.fileAnswers.push_back(tmp.path(name + ".QTX"));
        bench.console.mnuload_Click();
        expectSameImage(bench.console, b, n);
        if (summed) {
            EXPECT_EQ(bench.console.track.trackcount, b.header.numexposures) << name;
        }
    }
    EXPECT_GT(number, 5);
    EXPECT_EQ(bench.host.messageBoxes, std::vector<std::string>{}) << bench.pc();
    EXPECT_FALSE(std::filesystem::exists(tmp.path("night" + std::to_string(number + 1) + ".QTX")));
}

}  // namespace
}  // namespace qtx::sim::test

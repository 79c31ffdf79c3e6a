// The console's core on a fake host wired to the simulated QTX: what the console writes
// goes to the model, what the model answers arrives as receive events.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "console.hpp"
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

TEST(ConsoleWithModel, LinkComesUpAndTheDisplayIsMirrored) {
    for (std::size_t piece : {0U, 1U, 7U}) {
        Bench bench({}, piece);
        bench.start();
        EXPECT_EQ(bench.pc(), "Link Established") << "pieces of " << piece;
        EXPECT_EQ(bench.qtx(), bench.mirrored()) << "pieces of " << piece;
        EXPECT_TRUE(bench.model.remote());
    }
}

TEST(ConsoleWithModel, KeysAreAcknowledgedAndTheirScreensMirrored) {
    struct Case {
        const char* what;
        void (Console::*click)();
        std::string line1;
    };
    const Case cases[] = {
        {"Focus", &Console::cmdfocus_Click, "FOCUS  pos 500"},
        {"Monitor", &Console::cmdmonitor_Click, "MONITOR  buffer 31"},
        {"Calibrate", &Console::cmdcalibrate_Click, "CALIBRATE"},
        {"Track", &Console::cmdtrack_Click, "TRACK"},
        {"Display", &Console::cmddisplay_Click, "DISPLAY  buffer 00"},
        {"File Ops", &Console::cmdfileops_Click, "FILE OPS"},
        {"Setup", &Console::cmdsetup_Click, "SETUP  Exposure"},
        {"Parameter moves on inside Setup", &Console::cmdparameter_Click, "SETUP  Binning"},
        {"Interrupt", &Console::cmdinterrupt_Click, "QTX  READY      REMOTE"},
    };
    Bench bench;
    bench.start();
    for (const Case& c : cases) {
        (bench.console.*c.click)();
        EXPECT_EQ(bench.pc(), "Keypress not acknowledged") << c.what;
        bench.pump();
        EXPECT_EQ(bench.pc(), "Keypress acknowledged") << c.what;
        EXPECT_EQ(bench.qtx(), bench.mirrored()) << c.what;
        EXPECT_EQ(bench.model.displayLine(0).substr(0, c.line1.size()), c.line1) << c.what;
    }
}

TEST(ConsoleWithModel, TurboReachesTheQtx) {
    Bench bench;
    bench.start();
    bench.console.cmdsetup_Click();
    bench.console.cmdturbo_Click();
    bench.console.cmdup_Click();
    bench.pump();
    EXPECT_EQ(bench.qtx(), "SETUP  Exposure        T\r\n> 10.000 s" + std::string(14, ' '));
    bench.console.cmdturbo_Click();
    bench.console.cmdup_Click();
    bench.console.cmdvalue_Click();
    bench.pump();
    EXPECT_EQ(bench.qtx(),
              "SETUP  Exposure" + std::string(9, ' ') + "\r\n  20.000 s  stored      ");
    EXPECT_EQ(bench.model.settings().exposureMs, 20000U);
}

// The image the console holds is exactly the one in the model's buffer.
void expectSameImage(const Console& console, const ImageBuffer& buffer, int n) {
    const ImageRecord& r = console.record;
    ASSERT_EQ(r.imagewidth, buffer.header.width) << "buffer " << n;
    ASSERT_EQ(r.imageheight, buffer.header.height) << "buffer " << n;
    EXPECT_EQ(r.imagedata.cells, buffer.pixels) << "buffer " << n;
}

TEST(ConsoleWithModel, OfferedImageArrivesWhole) {
    Bench bench;
    bench.start();
    bench.console.cmdimage_Click();
    bench.pump();
    EXPECT_TRUE(bench.wrote(frameOf(4, word(31))));
    EXPECT_TRUE(bench.console.reception.imagecomplete);
    expectSameImage(bench.console, bench.model.buffer(31), 31);
    // The exchange ends with remote on and the end of the download.
    EXPECT_EQ(bench.host.written.back(), frameOf(2));
    EXPECT_EQ(bench.pc().substr(0, 13), "Background = ");
    EXPECT_EQ(bench.host.text(TextBox::headertxt).substr(0, 11), "QTX Image\r\n");
    EXPECT_FALSE(bench.host.timerRunning);
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

TEST(ConsoleWithModel, EmptyBufferRequestsNothingMore) {
    Bench bench;
    bench.start();
    bench.console.reception.bufferindex = 3;
    bench.console.requestheader(3);
    const std::size_t before = bench.host.written.size();
    bench.pump();
    EXPECT_EQ(bench.host.written.size(), before);
    EXPECT_EQ(bench.console.record.imagewidth, 0);
}

// The watchdog is the console's only clock: tick it whenever the line falls quiet.
bool downloadWithTicks(Bench& bench, int buffer) {
    bench.console.reception.headerpending = true;
    bench.console.reception.bufferindex = static_cast<std::int16_t>(buffer);
    bench.console.watchdogRestart(bench.console.link.longinterval);
    bench.console.requestheader(static_cast<std::int16_t>(buffer));
    for (int tick = 0; tick < 2000; ++tick) {
        bench.pump();
        if (bench.console.reception.imagecomplete || !bench.host.timerRunning) break;
        bench.model.lineIdle();
        bench.console.watchdogTick();
    }
    return bench.console.reception.imagecomplete;
}

TEST(ConsoleWithModel, DamagedAndLostRepliesAreRepeated) {
    const struct {
        const char* what;
        double drop, corrupt, garbage;
        CorruptWhere where;
    } cases[] = {
        {"corrupt payloads", 0.0, 0.15, 0.0, CorruptWhere::Payload},
        {"corrupt headers", 0.0, 0.10, 0.0, CorruptWhere::Header},
        {"lost replies", 0.08, 0.0, 0.0, CorruptWhere::Any},
        {"all of it", 0.05, 0.05, 0.05, CorruptWhere::Any},
    };
    for (const auto& c : cases) {
        for (int n : {1, 2}) {
            Bench bench;
            bench.start();
            FaultPlan plan;
            plan.seed = 7;
            plan.drop = c.drop;
            plan.corrupt = c.corrupt;
            plan.garbage = c.garbage;
            plan.corruptWhere = c.where;
            bench.model.setFaults(plan);
            ASSERT_TRUE(downloadWithTicks(bench, n)) << c.what << ", buffer " << n;
            expectSameImage(bench.console, bench.model.buffer(n), n);
            EXPECT_NE(bench.pc(), "Communication Failed") << c.what;
        }
    }
}

TEST(ConsoleWithModel, SilenceEndsInCommunicationFailed) {
    Bench bench;
    bench.start();
    FaultPlan plan;
    plan.silent = true;
    bench.model.setFaults(plan);
    EXPECT_FALSE(downloadWithTicks(bench, 1));
    EXPECT_EQ(bench.pc(), "Communication Failed");
    // Four sendings of the header request in all.
    int requests = 0;
    for (const auto& w : bench.host.written) requests += w == [] {
        Bytes r = frameOf(4, word(1));
        r.insert(r.end(), 4, 0);
        return r;
    }() ? 1 : 0;
    EXPECT_EQ(requests, 4);
}

TEST(ConsoleWithModel, LinkRequestIsAnswered) {
    Bench bench;
    bench.start();
    bench.model.requestLink();
    bench.pump();
    EXPECT_TRUE(bench.wrote(Bytes{0xA5, 0xFE, 0x00, 0x00, 0xA3, 0x01}));
    // The QTX confirms in turn.
    EXPECT_EQ(bench.pc(), "Link established to QTX");

    ModelOptions asking;
    asking.linkRequestOnContact = true;
    Bench eager(asking);
    eager.start();
    EXPECT_TRUE(eager.wrote(Bytes{0xA5, 0xFE, 0x00, 0x00, 0xA3, 0x01}));
    EXPECT_EQ(eager.qtx(), eager.mirrored());
}

TEST(ConsoleWithModel, DamagedFramesAreSurvived) {
    // Frame 1 answers CMD_REMOTE; the first key is answered by frames 2 (MSG_ACK) and 3
    // (MSG_DISPLAY), the second key by 4 and 5.
    struct Case {
        const char* what;
        FaultPlan plan;
        std::string pcAfterFirstKey;
        bool displayAfterFirstKey;  // else "????????"
    };
    FaultPlan badDisplay, badAckHeader, lostAck, badDisplayHeader;
    badDisplay.corruptFrames = {3};
    badDisplay.corruptWhere = CorruptWhere::Payload;
    badAckHeader.corruptFrames = {2};
    lostAck.dropFrames = {2};
    badDisplayHeader.corruptFrames = {3};
    badDisplayHeader.corruptWhere = CorruptWhere::Header;
    const Case cases[] = {
        {"display payload damaged", badDisplay, "Keypress acknowledged", false},
        {"acknowledgement header damaged", badAckHeader, "Keypress not acknowledged", true},
        {"acknowledgement lost", lostAck, "Keypress not acknowledged", true},
    };
    for (const Case& c : cases) {
        ModelOptions options;
        options.faults = c.plan;
        Bench bench(options);
        bench.start();
        bench.console.cmdfocus_Click();
        bench.pump();
        EXPECT_EQ(bench.pc(), c.pcAfterFirstKey) << c.what;
        EXPECT_EQ(bench.qtx(), c.displayAfterFirstKey ? bench.mirrored() : "????????") << c.what;
        // The next key goes through untouched.
        bench.console.cmdsetup_Click();
        bench.pump();
        EXPECT_EQ(bench.pc(), "Keypress acknowledged") << c.what;
        EXPECT_EQ(bench.qtx(), bench.mirrored()) << c.what;
    }
}

TEST(ConsoleWithModel, GarbageBetweenFramesIsSurvived) {
    ModelOptions options;
    options.faults.garbage = 1.0;
    options.faults.seed = 5;
    for (std::size_t piece : {0U, 3U}) {
        Bench bench(options, piece);
        bench.start();
        EXPECT_EQ(bench.pc(), "Link Established");
        for (int i = 0; i < 10; ++i) {
            bench.console.cmddisplay_Click();
            bench.console.cmdup_Click();
            bench.pump();
            EXPECT_EQ(bench.pc(), "Keypress acknowledged") << "round " << i;
            EXPECT_EQ(bench.qtx(), bench.mirrored()) << "round " << i;
        }
    }
}

TEST(ConsoleWithModel, SilentQtxNeverBringsTheLinkUp) {
    ModelOptions options;
    options.faults.silent = true;
    Bench bench(options);
    bench.start();
    EXPECT_EQ(bench.pc(), "Link not established!");
    bench.console.cmdfocus_Click();
    bench.pump();
    EXPECT_EQ(bench.pc(), "Keypress not acknowledged");
    EXPECT_FALSE(bench.console.link.linkup);
}

// A code image the QTX will take: random code, its CRC stored high byte first.
Bytes goodCodeImage(std::uint64_t seed) {
    Rng rng(seed);
    Bytes image(kCodeBytes);
    for (auto& b : image) b = static_cast<std::uint8_t>(rng.next() & 0xFF);
    const std::uint16_t crc = crc16CcittFalse(std::span(image).first(kCodeChecked));
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
        EXPECT_EQ(bench.console.link.pendingop, c.confirmed ? 0 : c.loaded ? 3 : 1);
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

// The console's core on a fake host wired to the simulated QTX: what the console writes
// goes to the model, what the model answers arrives as receive events.
#include <gtest/gtest.h>

#include "console.hpp"
#include "fake_host.hpp"
#include "model/qtx_model.hpp"
#include "sim_support.hpp"

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
        for (int round = 0; round < 100; ++round) {
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

TEST(ConsoleWithModel, ImageOfferIsTakenUp) {
    Bench bench;
    bench.start();
    bench.console.cmdimage_Click();
    bench.pump();
    // The offer made the console ask for the header of buffer 31.
    EXPECT_TRUE(bench.wrote(frameOf(4, word(31))));
    EXPECT_EQ(bench.qtx().substr(26, 19), "Stored in buffer 31");
    // While it sends, its own display says so.
    EXPECT_EQ(bench.model.displayLine(0).substr(0, 18), "SENDING  buffer 31");
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

}  // namespace
}  // namespace qtx::sim::test

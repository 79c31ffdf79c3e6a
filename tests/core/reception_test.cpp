#include "console_fixture.hpp"
#include "test_frames.hpp"

#include <filesystem>

namespace qtx::test {
namespace {



struct Header {
    std::uint16_t flags = 0;
    std::uint16_t height = 3;
    std::uint16_t width = 4;
    std::uint16_t firstrow = 10;
    std::uint16_t firstcolumn = 20;
    std::uint16_t numexposures = 1;
    std::uint16_t range = 256;
};

Bytes headerFrame(const Header& h) {
    Bytes block(38, 0);
    const auto put = [&](std::size_t at, std::uint16_t w) {
        block[at] = static_cast<std::uint8_t>(w & 0xFF);
        block[at + 1] = static_cast<std::uint8_t>(w >> 8);
    };
    put(0, h.flags);
    put(2, h.height);
    put(4, h.width);
    put(6, h.firstrow);
    put(8, h.firstcolumn);
    put(12, h.numexposures);
    put(34, h.range);
    return frameOf(4, block);
}

Bytes rawRow(const std::vector<std::uint16_t>& words) {
    Bytes payload;
    for (std::uint16_t w : words) {
        payload.push_back(static_cast<std::uint8_t>(w & 0xFF));
        payload.push_back(static_cast<std::uint8_t>(w >> 8));
    }
    return frameOf(5, payload);
}

Bytes compressedRow(const Bytes& tokens) { return frameOf(7, tokens); }

Bytes headerRequest(std::uint8_t buffer) {
    return {0xA5, 0x04, 0x02, 0x00, 0xAB, 0x00, buffer, 0x00, buffer, 0x00, 0, 0, 0, 0};
}

// Requests written out by hand: row 10, 11 and 12 of a 4-column image at column 20 from
// buffer 31, and the track row.
const Bytes kRow10{0xA5, 0x07, 0x08, 0x00, 0xB4, 0x00, 0x0A, 0x00,
                   0x14, 0x00, 0x04, 0x00, 0x1F, 0x00, 0x41, 0x00};
const Bytes kRow11{0xA5, 0x07, 0x08, 0x00, 0xB4, 0x00, 0x0B, 0x00,
                   0x14, 0x00, 0x04, 0x00, 0x1F, 0x00, 0x42, 0x00};
const Bytes kRow12{0xA5, 0x07, 0x08, 0x00, 0xB4, 0x00, 0x0C, 0x00,
                   0x14, 0x00, 0x04, 0x00, 0x1F, 0x00, 0x43, 0x00};
const Bytes kTrackRowRequest{0xA5, 0x05, 0x08, 0x00, 0xB2, 0x00, 0xC8, 0x00,
                             0x00, 0x00, 0x40, 0x01, 0x1F, 0x00, 0x28, 0x01};
const Bytes kRemoteOn{0xA5, 0x09, 0x02, 0x00, 0xB0, 0x00, 0x01, 0x00, 0x01, 0x00};
const Bytes kDownloadEnd{0xA5, 0x02, 0x00, 0x00, 0xA7, 0x00};
const Bytes kNak{0xA5, 0x15, 0x00, 0x00, 0xBA, 0x00};

class ReceptionTest : public ConsoleTest {
  protected:
    // The user asks for the screen image and its header arrives.
    void startImage(const Header& h) {
        console.mnudownloadlight_Click();
        receive(headerFrame(h));
        host.written.clear();
    }
    std::vector<std::uint16_t> row(int r) const {
        std::vector<std::uint16_t> cells;
        for (int x = 1; x <= console.record.imagedata.width; ++x) {
            cells.push_back(console.record.imagedata.at(x, r));
        }
        return cells;
    }
};

TEST_F(ReceptionTest, HeaderThenRowsFillTheImage) {
    console.mnudownloadlight_Click();
    EXPECT_EQ(host.written, std::vector<Bytes>{headerRequest(31)});
    host.written.clear();
    receive(headerFrame({}));
    EXPECT_EQ(host.written, std::vector<Bytes>{kRow10});
    EXPECT_FALSE(console.reception.headerpending);
    EXPECT_FALSE(console.link.headerok);
    EXPECT_TRUE(host.timerRunning);
    EXPECT_EQ(host.timerInterval, 256);
    EXPECT_EQ(console.record.imagedata.width, 4);
    EXPECT_EQ(console.record.imagedata.height, 3);
    EXPECT_EQ(console.record.imagewidth, 0);  // the old size until the image is complete
    EXPECT_EQ(console.reception.reqcolumn, 20);
    EXPECT_TRUE(host.progressVisible);

    receive(compressedRow({0x10, 0x27, 0x05, 0x7F, 0xC1, 0x00}));
    EXPECT_EQ(host.lastWritten(), kRow11);
    receiveBytewise(rawRow({1, 2, 3, 40000}));
    EXPECT_EQ(host.lastWritten(), kRow12);
    EXPECT_EQ(host.progress.back().done, 2);
    EXPECT_EQ(host.progress.back().total, 3);
    receive(compressedRow({0x40, 0x9C, 0x01, 0x01, 0x01}));

    EXPECT_EQ(row(1), (std::vector<std::uint16_t>{10000, 10005, 10004, 1024}));
    EXPECT_EQ(row(2), (std::vector<std::uint16_t>{1, 2, 3, 40000}));
    EXPECT_EQ(row(3), (std::vector<std::uint16_t>{40000, 40001, 40002, 40003}));
    EXPECT_EQ(host.written, (std::vector<Bytes>{kRow10, kRow11, kRow12, kRemoteOn, kDownloadEnd}));
    EXPECT_TRUE(console.reception.imagecomplete);
    EXPECT_EQ(console.record.imagewidth, 4);
    EXPECT_EQ(console.record.imageheight, 3);
    EXPECT_TRUE(console.record.imageshown);
    EXPECT_EQ(host.text(TextBox::PCtext), "Background = 0\r\nRange = 256");
    EXPECT_FALSE(host.timerRunning);
    EXPECT_FALSE(host.progressVisible);
    EXPECT_EQ(console.link.rxcount, 0);
}

TEST_F(ReceptionTest, DamagedHeaderIsRequestedAgain) {
    console.mnudownloadlight_Click();
    host.written.clear();
    Bytes damaged = headerFrame({});
    damaged[10] ^= 0x01;
    receive(damaged);
    EXPECT_EQ(host.written, std::vector<Bytes>{headerRequest(31)});
    EXPECT_TRUE(console.reception.headerpending);
    EXPECT_TRUE(console.link.headerok);
    EXPECT_EQ(console.link.rxcount, 0);
    EXPECT_EQ(host.timerInterval, 256);
    EXPECT_EQ(console.reception.repeats, 1);
    receive(headerFrame({}));
    EXPECT_EQ(host.lastWritten(), kRow10);
    EXPECT_EQ(console.reception.repeats, 0);
}

TEST_F(ReceptionTest, DamagedOrShortRowsAreRequestedAgain) {
    startImage({});
    console.link.retrycount = 2;
    Bytes badChecksum = compressedRow({0x10, 0x27, 0x05, 0x7F, 0xC1, 0x00});
    badChecksum.back() ^= 0x01;
    const Bytes replies[] = {
        badChecksum,
        compressedRow({0x10, 0x27, 0x05, 0x7F}),        // tokens run out at column 3
        compressedRow({0x10, 0x27, 0x05, 0x7F, 0xC1}),  // a two-byte token cut short
        compressedRow({0x10}),                          // not even the first pixel
        rawRow({1, 2, 3}),                              // three words of four
    };
    int repeats = 0;
    for (const Bytes& reply : replies) {
        receive(reply);
        ++repeats;
        EXPECT_EQ(host.written.size(), static_cast<std::size_t>(repeats));
        EXPECT_EQ(host.lastWritten(), kRow10);
        EXPECT_EQ(console.reception.rownumber, 10);
        EXPECT_EQ(host.progress.back().repeats, repeats);
        EXPECT_TRUE(host.timerRunning);
    }
    EXPECT_EQ(row(1), (std::vector<std::uint16_t>{0, 0, 0, 0}));
    EXPECT_EQ(console.link.retrycount, 2);  // only a good reply resets it
    receive(compressedRow({0x10, 0x27, 0x05, 0x7F, 0xC1, 0x00}));
    EXPECT_EQ(host.lastWritten(), kRow11);
    EXPECT_EQ(console.link.retrycount, 0);
    EXPECT_EQ(row(1), (std::vector<std::uint16_t>{10000, 10005, 10004, 1024}));
}

TEST_F(ReceptionTest, SummedImageFetchesItsTrackRow) {
    Header h;
    h.height = 2;
    h.numexposures = 2;
    startImage(h);
    receive(rawRow({1, 2, 3, 4}));
    receive(rawRow({5, 6, 7, 8}));
    EXPECT_EQ(host.lastWritten(), kTrackRowRequest);
    EXPECT_FALSE(console.reception.imagecomplete);
    std::vector<std::uint16_t> track(320);
    for (std::size_t k = 0; k < track.size(); ++k) track[k] = static_cast<std::uint16_t>(k * 200);
    receive(rawRow(std::vector<std::uint16_t>(track.begin(), track.end() - 1)));  // a word short
    EXPECT_EQ(host.lastWritten(), kTrackRowRequest);
    receive(rawRow(track));
    EXPECT_EQ(console.reception.tracklist[0], 0);
    EXPECT_EQ(console.reception.tracklist[319], 63800);
    EXPECT_EQ(console.reception.tracklist[300], 60000);
    EXPECT_EQ(row(1), (std::vector<std::uint16_t>{1, 2, 3, 4}));
    EXPECT_EQ(row(2), (std::vector<std::uint16_t>{5, 6, 7, 8}));
    EXPECT_EQ(host.written.size(), 5U);
    EXPECT_EQ(host.written[3], kRemoteOn);
    EXPECT_EQ(host.written[4], kDownloadEnd);
    EXPECT_TRUE(console.reception.imagecomplete);
}

TEST_F(ReceptionTest, MosaicAlsoFetchesTheTrackRow) {
    Header h;
    h.height = 1;
    h.flags = 0x4000;  // mosaic of 6
    startImage(h);
    receive(rawRow({1, 2, 3, 4}));
    EXPECT_EQ(host.lastWritten()[1], 0x05);
}

TEST_F(ReceptionTest, EmptyBufferEndsTheExchange) {
    auto& r = console.record;
    r.imagedata.resize(5, 5);
    r.imagedata.at(5, 5) = 77;
    r.imagewidth = 5;
    r.imageheight = 5;
    console.mnudownloadlight_Click();
    host.written.clear();
    Header h;
    h.height = 0;
    receive(headerFrame(h) + kNak);
    EXPECT_TRUE(host.written.empty());
    EXPECT_FALSE(host.timerRunning);
    EXPECT_EQ(r.imagedata.width, 5);
    EXPECT_EQ(r.imagedata.at(5, 5), 77);
    EXPECT_EQ(r.imagewidth, 5);
    EXPECT_EQ(r.imageheight, 5);
    EXPECT_FALSE(console.link.headerok);
    EXPECT_EQ(console.link.rxcount, 6);  // the NAK waits for the next event
    EXPECT_FALSE(host.progressVisible);
    receive({});
    EXPECT_EQ(host.text(TextBox::PCtext), "QTX did not understand command");
}

TEST_F(ReceptionTest, DownloadAllWalksTheFilledBuffers) {
    console.files.autosave = true;
    // Bytes 0-1 select buffers 16..31 (bit 1: 17), bytes 2-3 buffers 0..15 (bit 3: 3).
    receive({0xA5, 0x03, 0x04, 0x00, 0xAC, 0x00, 0x02, 0x00, 0x08, 0x00, 0x0A, 0x00});
    EXPECT_EQ(host.written, std::vector<Bytes>{headerRequest(3)});
    EXPECT_TRUE(console.reception.downloadall);
    EXPECT_TRUE(console.reception.bufferpending[17]);
    EXPECT_FALSE(console.reception.bufferpending[3]);
    EXPECT_TRUE(console.reception.headerpending);
    EXPECT_EQ(host.timerInterval, 256);
    Header h;
    h.height = 1;
    receive(headerFrame(h));
    EXPECT_EQ(host.lastWritten()[12], 3);  // the row request names buffer 3
    receive(rawRow({1, 2, 3, 4}));
    // Remote on, the save report of img001.QTX, then the next buffer.
    EXPECT_EQ(host.written[host.written.size() - 3], kRemoteOn);
    EXPECT_EQ(host.written[host.written.size() - 2], (Bytes{0xA5, 0x0B, 0x02, 0x00, 0xB2, 0x00, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(host.lastWritten(), headerRequest(17));
    EXPECT_FALSE(console.reception.bufferpending[17]);
    receive(headerFrame(h));
    receive(rawRow({5, 6, 7, 8}));
    EXPECT_EQ(host.lastWritten(), kDownloadEnd);
    EXPECT_FALSE(console.reception.downloadall);

    const struct {
        Bytes bitmap;
        int first;
    } cases[] = {
        {{0x00, 0x00, 0x01, 0x00}, 0},
        {{0x00, 0x80, 0x00, 0x00}, 31},
        {{0x01, 0x00, 0x00, 0x80}, 15},
        {{0xFF, 0xFF, 0xFF, 0xFF}, 0},
    };
    for (const auto& c : cases) {
        host.written.clear();
        receive(frameOf(3, c.bitmap));
        EXPECT_EQ(host.written,
                  std::vector<Bytes>{headerRequest(static_cast<std::uint8_t>(c.first))})
            << c.first;
    }
}

TEST_F(ReceptionTest, EmptyBitmapStartsNothing) {
    console.files.autosave = true;
    receive({0xA5, 0x03, 0x04, 0x00, 0xAC, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00});
    EXPECT_TRUE(host.written.empty());
    EXPECT_FALSE(console.reception.downloadall);
    EXPECT_EQ(host.texts.back().text, "QTX data buffers are empty");
    EXPECT_TRUE(host.texts.back().repainted);
}

TEST_F(ReceptionTest, DownloadAllCommandSavesEveryBufferUnderItsNumber) {
    console.mnuflashdownload_Click();
    EXPECT_EQ(host.text(TextBox::PCtext), "No file was selected!");
    EXPECT_EQ(host.messageBoxes, std::vector<std::string>{"No file was selected"});
    EXPECT_TRUE(host.written.empty());

    host.fileAnswers.push_back(tmp.path("night.QTX"));
    console.mnuflashdownload_Click();
    EXPECT_EQ(host.text(TextBox::PCtext), tmp.path("night") + " selected");
    EXPECT_EQ(host.written, std::vector<Bytes>{frameOf(3)});
    EXPECT_TRUE(console.files.autosave);
    // Buffers 2, 3 and 17; buffer 2 turns out empty and is passed over.
    receive(frameOf(3, {0x02, 0x00, 0x0C, 0x00}));
    EXPECT_EQ(host.lastWritten(), headerRequest(2));
    Header empty;
    empty.height = 0;
    receive(headerFrame(empty));
    EXPECT_EQ(host.lastWritten(), headerRequest(3));
    Header h;
    h.height = 1;
    receive(headerFrame(h));
    EXPECT_EQ(host.progress.back().image, 2);
    EXPECT_EQ(host.progress.back().images, 3);
    EXPECT_EQ(host.progress.back().buffer, 3);
    // Aborted while buffer 3 comes in: it is completed and saved, then the walk ends.
    console.mnuabort_Click();
    receive(rawRow({1, 2, 3, 4}));
    EXPECT_EQ(host.lastWritten(), kDownloadEnd);
    EXPECT_TRUE(std::filesystem::exists(tmp.path("night001.QTX")));
    EXPECT_FALSE(std::filesystem::exists(tmp.path("night002.QTX")));
    EXPECT_FALSE(console.reception.bufferpending[17]);

    // A Download All that ends on an empty buffer still ends the exchange.
    receive(frameOf(3, {0x00, 0x00, 0x04, 0x00}));
    receive(headerFrame(empty));
    EXPECT_EQ(host.lastWritten(), kDownloadEnd);
    EXPECT_FALSE(console.reception.downloadall);
    console.mnuabort_Click();  // nothing running: nothing changes
    EXPECT_EQ(host.lastWritten(), kDownloadEnd);
}

// A QTX that answers a row request just after the watchdog repeated it answers both
// copies, one after the other: the second answer must never be taken for the next row.
TEST_F(ReceptionTest, LateRepliesNeverShiftRows) {
    const Bytes r10 = rawRow({1, 1, 1, 1});
    const Bytes r11 = rawRow({2, 2, 2, 2});
    const Bytes r12 = rawRow({3, 3, 3, 3});
    startImage({});
    console.watchdogTick();  // row 10 asked for again
    receive(r10);
    EXPECT_EQ(host.written, (std::vector<Bytes>{kRow10}));  // row 11 waits for the copy
    receive(r10);
    EXPECT_EQ(host.lastWritten(), kRow11);
    receive(r11);
    EXPECT_EQ(host.lastWritten(), kRow12);
    receive(r12);
    EXPECT_EQ(row(1), (std::vector<std::uint16_t>{1, 1, 1, 1}));
    EXPECT_EQ(row(2), (std::vector<std::uint16_t>{2, 2, 2, 2}));
    EXPECT_EQ(row(3), (std::vector<std::uint16_t>{3, 3, 3, 3}));
    EXPECT_TRUE(console.reception.imagecomplete);
    EXPECT_EQ(host.text(TextBox::PCtext), "Background = 0\r\nRange = 256");

    // The late copy never comes: after the patience ticks the next row is asked for.
    startImage({});
    console.watchdogTick();
    receive(r10);
    host.written.clear();
    for (int tick = 1; tick <= 2; ++tick) {
        console.watchdogTick();
        EXPECT_TRUE(host.written.empty()) << tick;  // patience: nothing is repeated
    }
    console.watchdogTick();
    EXPECT_EQ(host.written, (std::vector<Bytes>{kRow11}));
    // A damaged answer while one is awaited is that answer, damaged: asked for again.
    Bytes damaged = r11;
    damaged.back() ^= 1;
    receive(damaged);
    EXPECT_EQ(host.lastWritten(), kRow11);
    receive(r11);
    EXPECT_EQ(host.lastWritten(), kRow12);
}

TEST_F(ReceptionTest, AnswersOfAnEarlierRequestAreDropped) {
    Header h;
    startImage(h);
    // A late copy of the header while rows are awaited changes nothing.
    receive(headerFrame(h));
    Bytes damagedHeader = headerFrame(h);
    damagedHeader[10] ^= 1;
    receive(damagedHeader);
    EXPECT_TRUE(host.written.empty());
    EXPECT_TRUE(host.timerRunning);
    // The screen image asked for while row 10 is on its way: that row still comes and is
    // dropped, the header that follows starts the new image.
    console.mnudownloadlight_Click();
    receive(rawRow({9, 9, 9, 9}));
    EXPECT_EQ(host.written, (std::vector<Bytes>{headerRequest(31)}));
    receive(headerFrame(h));
    EXPECT_EQ(host.lastWritten(), kRow10);

    // A Download All interrupted by the screen image fetches the buffer again afterwards.
    console.files.autosave = true;
    receive(frameOf(3, {0x00, 0x00, 0x20, 0x00}));  // buffer 5
    EXPECT_EQ(host.lastWritten(), headerRequest(5));
    console.mnudownloadlight_Click();
    EXPECT_TRUE(console.reception.bufferpending[5]);
    h.height = 1;
    receive(headerFrame(h));
    receive(rawRow({1, 2, 3, 4}));
    EXPECT_EQ(host.lastWritten(), headerRequest(5));
    EXPECT_EQ(console.reception.downloadimages, 2);
}

TEST_F(ReceptionTest, ImageLargerThanTheRecordKeepsWhatFits) {
    Header h;
    h.width = 400;
    h.height = 250;
    h.firstrow = 0;
    startImage(h);
    EXPECT_EQ(console.record.imagedata.width, 320);
    EXPECT_EQ(console.record.imagedata.height, 200);
    EXPECT_EQ(console.reception.reqwidth, 400);  // the QTX is asked for the whole row
    Bytes tokens{0x00, 0x00};
    tokens.insert(tokens.end(), 399, 0x01);  // pixel x holds x - 1
    const Bytes reply = compressedRow(tokens);
    for (int r = 1; r <= 200; ++r) receive(reply);
    EXPECT_TRUE(console.reception.imagecomplete);
    EXPECT_EQ(console.record.imagewidth, 320);
    EXPECT_EQ(console.record.imageheight, 200);
    EXPECT_EQ(console.record.imagedata.at(320, 200), 319);
    EXPECT_EQ(host.written.size(), 199U + 2U);  // rows 1..199, then remote on and end
    EXPECT_EQ(host.lastWritten(), kDownloadEnd);
}

TEST_F(ReceptionTest, RowNumbersEndBeforeTheyOverflow) {
    Header h;
    h.firstrow = 0xFFFF;  // limited to 32767
    h.height = 5;
    startImage(h);
    EXPECT_EQ(console.reception.rownumber, 32767);
    receive(rawRow({1, 2, 3, 4}));
    EXPECT_TRUE(console.reception.imagecomplete);
    EXPECT_EQ(host.lastWritten(), kDownloadEnd);
    EXPECT_EQ(console.record.imagedata.at(4, 1), 4);
}

TEST_F(ReceptionTest, ImageWithoutColumnsCompletesEmpty) {
    Header h;
    h.width = 0;
    h.height = 1;
    startImage(h);
    // No pixel, so no first word either: an empty payload with its checksum.
    receive(Bytes{0xA5, 0x07, 0x00, 0x00, 0xAC, 0x00, 0x00, 0x00});
    EXPECT_TRUE(console.reception.imagecomplete);
    EXPECT_EQ(console.record.imagewidth, 0);
    EXPECT_EQ(console.record.imageheight, 1);
    console.Picdata_MouseMove(0, 0, 160.0, 100.0);
    EXPECT_EQ(host.pointer, Pointer::Default);
}

TEST_F(ReceptionTest, ReadersDuringAReceptionStayInsideTheArray) {
    auto& r = console.record;
    r.imagedata.resize(320, 200);
    for (auto& cell : r.imagedata.cells) cell = 5000;
    r.imagewidth = 320;
    r.imageheight = 200;
    r.range = 256;
    console.showimage();
    startImage({});  // the array is now 4 x 3, the record still says 320 x 200
    host.texts.clear();
    console.Picdata_MouseMove(0, 0, 300.0, 190.0);
    EXPECT_EQ(host.pointer, Pointer::Default);
    console.Picdata_MouseMove(0, 0, 3.0, 2.0);
    EXPECT_EQ(host.text(TextBox::PCtext), "Pixel position ( 4,  3) =  0");
    console.mnuautocontrast_Click();
    EXPECT_EQ(r.background, 0);
    EXPECT_EQ(r.range, 128);
    EXPECT_EQ(r.xoffset, 158);  // the 4 x 3 that exists, centred
    // The reception goes on undisturbed.
    receive(rawRow({1, 2, 3, 4}));
    EXPECT_EQ(host.lastWritten(), kRow11);
}

TEST_F(ReceptionTest, CommunicationFailedHidesTheProgress) {
    startImage({});
    EXPECT_TRUE(host.progressVisible);
    for (int tick = 0; tick < 4; ++tick) console.watchdogTick();
    EXPECT_EQ(host.texts.back().text, "Communication Failed");
    EXPECT_FALSE(host.progressVisible);
    EXPECT_EQ(console.reception.repeats, 3);
}

}  // namespace
}  // namespace qtx::test

#include <algorithm>
#include <filesystem>

#include "console_fixture.hpp"

namespace qtx::test {
namespace {

using Words = std::vector<std::uint16_t>;
using Sent = std::vector<Bytes>;

using ReceptionTest = ConsoleTest;

TEST_F(ReceptionTest, HeaderThenRowsFillTheImage) {
    console.mnudownloadlight_Click();
    host.written.clear();
    // The header and the first row in one read: the row is taken at once.
    EXPECT_EQ(answer(headerFrame({}) + compressedRow({0x10, 0x27, 0x05, 0x7F, 0xC1, 0x00})),
              kRow11);
    EXPECT_EQ(console.image().imagewidth, 0);  // the old size until the image is complete
    for (std::uint8_t b : rawRow({1, 2, 3, 40000})) receive(Bytes{b});
    EXPECT_EQ(std::pair(host.progress.back().done, host.progress.back().total), std::pair(2, 3));
    receive(compressedRow({0x40, 0x9C, 0x01, 0x01, 0x01}));
    EXPECT_EQ(console.image().imagedata.cells,
              (Words{10000, 10005, 10004, 1024, 1, 2, 3, 40000, 40000, 40001, 40002, 40003}));
    EXPECT_EQ(host.written, (Sent{kRow10, kRow11, kRow12, kRemoteOn, kDownloadEnd}));
    EXPECT_TRUE(host.eventsOf<ImageReceived>().size() == 1 && console.image().imagewidth == 4);
    EXPECT_EQ(host.text(TextBox::PCtext), "Background = 0\r\nRange = 256");
    EXPECT_FALSE(host.timerRunning || host.progressVisible);
}

TEST_F(ReceptionTest, DamagedHeadersAndRowsAreRequestedAgainThenCommunicationFails) {
    console.mnudownloadlight_Click();
    Bytes damagedHeader = headerFrame({});
    damagedHeader[10] ^= 0x01;
    receive(damagedHeader);
    EXPECT_EQ(host.written, Sent(2, headerRequest(31)));
    EXPECT_EQ(std::pair(console.linkState().headerok, console.transfer().repeats),
              std::pair(true, 1));
    receive(headerFrame({}));
    EXPECT_EQ(host.progress.back().repeats, 0);

    host.written.clear();
    const Bytes good = compressedRow({0x10, 0x27, 0x05, 0x7F, 0xC1, 0x00});
    Bytes badChecksum = good;
    badChecksum.back() ^= 0x01;
    const Bytes replies[] = {
        badChecksum, compressedRow({0x10, 0x27, 0x05, 0x7F, 0xC1}),  // a two-byte token cut short
        rawRow({1, 2, 3}),                                           // three words of four
    };
    for (std::size_t k = 0; k < std::size(replies); ++k) {
        receive(replies[k]);
        EXPECT_EQ(host.written, Sent(k + 1, kRow10));
        EXPECT_EQ(host.progress.back().repeats, static_cast<int>(k + 1));
    }
    EXPECT_EQ(console.image().imagedata.cells, Words(12, 0));
    EXPECT_EQ(answer(good), kRow11);
    // Only a good reply resets the ticks: two, a damaged reply, and the fourth fails.
    console.watchdogTick(), console.watchdogTick();
    EXPECT_EQ(answer(badChecksum), kRow11);
    console.watchdogTick();
    EXPECT_NE(host.texts.back().text, "Communication Failed");
    console.watchdogTick();
    EXPECT_EQ(host.texts.back().text, "Communication Failed");
    EXPECT_EQ(console.transfer().repeats, 3 + 4);  // over the whole transfer
}

TEST_F(ReceptionTest, SummedImagesAndMosaicsFetchTheirTrackRow) {
    Words track(320);
    for (std::size_t k = 0; k < track.size(); ++k) track[k] = static_cast<std::uint16_t>(k * 200);
    startImage({.flags = 0x4000, .height = 2});  // a mosaic of 6; summed images likewise
    exchange({{rawRow({1, 2, 3, 4}), {kRow11}},
              {rawRow({5, 6, 7, 8}), {kTrackRowRequest}},
              {rawRow(Words(track.begin(), track.end() - 1)), {kTrackRowRequest}},  // a word short
              {rawRow(track), {kRemoteOn, kDownloadEnd}}});
    EXPECT_EQ(console.transfer().tracklist[319], 63800);
    EXPECT_EQ(console.image().imagedata.cells, (Words{1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST_F(ReceptionTest, EmptyBufferEndsTheExchange) {
    holdImage(5, 5, [](int, int) { return 77; });
    console.mnudownloadlight_Click();
    host.written.clear();
    receive(headerFrame({.height = 0}) + kNak);
    EXPECT_TRUE(host.written.empty());
    EXPECT_FALSE(host.timerRunning || console.image().imagewidth != 5);
    const std::string nak = "QTX did not understand command";
    EXPECT_NE(host.texts.back().text, nak);
    console.onSerialEvent(SerialEvent::Other);  // the NAK waits for the next event
    EXPECT_EQ(host.texts.back().text, nak);
}

// Bytes 0-1 of the bitmap select buffers 16..31, bytes 2-3 buffers 0..15; the lowest goes first.
TEST_F(ReceptionTest, DownloadAllWalksTheFilledBuffersAndSavesEach) {
    host.fileAnswers.push_back(tmp.path("night.QTX"));
    console.mnuflashdownload_Click();
    EXPECT_EQ(host.written, Sent{kDownloadAll});
    // Buffers 2, 3, 17 and 31; buffer 2 turns out empty and is passed over.
    const Bytes status{0xA5, 0x03, 0x04, 0x00, 0xAC, 0x00, 0x02, 0x80, 0x0C, 0x00, 0x8E, 0x00};
    EXPECT_EQ(answer(status + kNak), headerRequest(2));
    EXPECT_EQ(host.texts.back().text, "QTX did not understand command");  // read at once
    exchange({{headerFrame({.height = 0}), {headerRequest(3)}},
              {headerFrame({.height = 1}), {rowRequest(10, 3)}}});
    const Progress& p = host.progress.back();
    EXPECT_EQ(std::tuple(p.buffer, p.image, p.images),
              std::tuple(3, 2, 4));  // buffer 2 counted, though empty
    // Remote on, the save report of night001.QTX, then the next buffer.
    exchange({{rawRow({1, 2, 3, 4}), {kRemoteOn, kSaved, headerRequest(17)}},
              {headerFrame({.height = 1}), {rowRequest(10, 17)}}});
    // Interrupted while buffer 17 comes in: it is completed and saved, then the walk ends.
    console.cmdinterrupt_Click();
    receive(rawRow({1, 2, 3}));  // a word short: asked for again
    EXPECT_EQ(answer(rawRow({1, 2, 3, 4})), kDownloadEnd);
    EXPECT_TRUE(std::filesystem::exists(tmp.path("night002.QTX")) &&
                !std::filesystem::exists(tmp.path("night003.QTX")));
    const auto ended = host.eventsOf<DownloadAllEnded>();
    ASSERT_EQ(ended.size(), 1U);
    EXPECT_EQ(std::tuple(ended[0].end, ended[0].images, ended[0].saved),
              std::tuple(DownloadAllEnded::End::Aborted, 2, 2));
    EXPECT_EQ(host.eventsOf<ImageReceived>().back().buffer, 17);
    // A single image afterwards is no longer "image n of m".
    console.mnudownloadlight_Click();
    receive(headerFrame({}));
    EXPECT_EQ(std::pair(host.progress.back().image, host.progress.back().images), std::pair(0, 0));

    // A walk that ends on an empty buffer still ends the exchange.
    receive(frameOf(3, {0x00, 0x00, 0x04, 0x00}));
    EXPECT_EQ(answer(headerFrame({.height = 0})), kDownloadEnd);
    const std::pair<Bytes, Sent> cases[] = {{{0x00, 0x80, 0x00, 0x00}, {headerRequest(31)}},
                                            {{0x01, 0x00, 0x00, 0x80}, {headerRequest(15)}},
                                            {{0x00, 0x00, 0x00, 0x00}, {}}};
    for (const auto& [bitmap, sent] : cases) {
        host.written.clear();
        receive(frameOf(3, bitmap));
        EXPECT_EQ(host.written, sent) << sent.size();
        if (sent.empty()) break;
        console.mnuabort_Click();
        receive(headerFrame({.height = 0}));
    }
    EXPECT_EQ(host.texts.back().text, "QTX data buffers are empty");
    console.mnuabort_Click();
    EXPECT_EQ(host.eventsOf<NothingToAbort>().size(), 1U);
}

// A row request answered just after the watchdog repeated it is answered twice.
TEST_F(ReceptionTest, LateRepliesNeverShiftRows) {
    const Bytes r10 = rawRow({1, 1, 1, 1}), r11 = rawRow({2, 2, 2, 2}), r12 = rawRow({3, 3, 3, 3});
    startImage();
    receive({0xA5, 0x07, 0x20});  // the start of a reply, then silence
    host.incoming = {1, 2, 3};
    console.watchdogTick();  // row 10 asked for again, the buffer and the port emptied
    EXPECT_TRUE(host.incoming.empty());
    // Row 11 waits for the copy.
    exchange({{r10, {}}, {r10, {kRow11}}, {r11, {kRow12}}, {r12, {kRemoteOn, kDownloadEnd}}});
    EXPECT_EQ(console.image().imagedata.cells, (Words{1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3}));

    // The late copy never comes: after the patience ticks the next row is asked for.
    startImage();
    console.watchdogTick();
    receive(r10);
    receive(kLinkRequest);  // answering it does not stop the wait
    EXPECT_TRUE(host.timerRunning);
    host.written.clear();
    for (int tick = 1; tick <= 2; ++tick) console.watchdogTick();
    EXPECT_TRUE(host.written.empty());  // patience: nothing is repeated
    console.watchdogTick();
    EXPECT_EQ(host.written, (Sent{kRow11}));
    // A damaged answer while one is awaited is that answer, damaged: asked for again.
    Bytes damaged = r11;
    damaged.back() ^= 1;
    EXPECT_EQ(answer(damaged), kRow11);
    EXPECT_EQ(answer(r11), kRow12);
}

TEST_F(ReceptionTest, AnswersOfAnEarlierRequestAreDropped) {
    startImage();
    // A late copy of the header while rows are awaited changes nothing.
    Bytes damagedHeader = headerFrame({});
    damagedHeader[10] ^= 1;
    receive(headerFrame({}) + damagedHeader);
    EXPECT_TRUE(host.written.empty() && host.timerRunning);
    // The screen image asked for while row 10 is on its way: that row is dropped.
    console.mnudownloadlight_Click();
    receive(rawRow({9, 9, 9, 9}));
    EXPECT_EQ(host.written, (Sent{headerRequest(31)}));
    EXPECT_EQ(answer(headerFrame({})), kRow10);

    // A Download All interrupted by the screen image fetches the buffer again afterwards.
    host.fileAnswers.push_back(tmp.path("img"));
    console.mnuautosave_Click();
    receive(frameOf(3, {0x00, 0x00, 0x20, 0x00}));  // buffer 5
    host.written.clear();
    console.mnudownloadlight_Click();
    EXPECT_TRUE(host.written.empty());  // the screen image's request waits for buffer 5's answer
    exchange({{headerFrame({.height = 2}), {headerRequest(31)}},
              {headerFrame({.height = 1}), {kRow10}},
              {rawRow({1, 2, 3, 4}), {kRemoteOn, kSaved, headerRequest(5)}}});
    EXPECT_EQ(host.eventsOf<ImageStarted>().back().images, 2);

    // The walk itself at buffer 31: the screen image is that buffer, fetched once.
    receive(headerFrame({.height = 0}) + frameOf(3, {0x00, 0x80, 0x00, 0x00}));
    receive(headerFrame({.height = 1}));
    console.mnudownloadlight_Click();
    receive(headerFrame({.height = 1}));
    EXPECT_EQ(answer(rawRow({1, 2, 3, 4})), kDownloadEnd);
}

// The QTX answers every copy of a repeated request, in order; a copy of an answer taken
// already is never taken for the next request.
TEST_F(ReceptionTest, CopiesOfAnAnswerCountOnce) {
    // The last row asked for twice: the image completes and is saved once.
    host.fileAnswers.push_back(tmp.path("img"));
    console.mnuautosave_Click();
    startImage({.height = 1});
    console.watchdogTick();
    const Bytes row = rawRow({1, 2, 3, 4});
    Bytes damaged = row;
    damaged.back() ^= 1;
    exchange({{row, {kRemoteOn, kSaved, kDownloadEnd}}, {row + damaged, {}}});
    EXPECT_FALSE(std::filesystem::exists(tmp.path("img002.QTX")));

    // Buffer 2 is empty and its header was asked for twice: buffer 3 waits for both answers.
    host.written.clear();
    host.fileAnswers.push_back(tmp.path("night.QTX"));
    console.mnuflashdownload_Click();
    console.watchdogTick();  // the bitmap asked for twice, one copy damaged
    Bytes status = frameOf(3, {0x02, 0x00, 0x0C, 0x00});  // buffers 2, 3 and 17
    damaged = status;
    damaged.back() ^= 1;
    receive(damaged);
    EXPECT_EQ(host.written, (Sent{kDownloadAll, kDownloadAll, kDownloadAll}));
    EXPECT_EQ(answer(status), headerRequest(2));
    console.watchdogTick();
    exchange({{status + headerFrame({.height = 0}), {}},
              {headerFrame({.height = 0}), {headerRequest(3)}}});
}

TEST_F(ReceptionTest, AFailedDownloadAllEndsAndSaysWhere) {
    host.fileAnswers.push_back(tmp.path("night.QTX"));
    console.mnuflashdownload_Click();
    for (int tick = 1; tick <= 3; ++tick) console.watchdogTick();
    receive(frameOf(3, {0x00, 0x00, 0x1C, 0x00}));  // buffers 2, 3 and 4, after three tries
    receive(headerFrame({.height = 1}));
    receive(rawRow({1, 2, 3, 4}));
    for (int tick = 1; tick <= 4; ++tick) console.watchdogTick();  // buffer 3 never answers
    EXPECT_EQ(host.texts.back().text,
              "Communication Failed\r\nDownload All stopped at buffer 3 after 1 image");
    EXPECT_EQ(host.lastWritten(), kDownloadEnd);
    const auto ended = host.eventsOf<DownloadAllEnded>();
    ASSERT_EQ(ended.size(), 1U);
    EXPECT_EQ(std::tuple(ended[0].end, ended[0].images, ended[0].saved, ended[0].stoppedAt),
              std::tuple(DownloadAllEnded::End::Failed, 1, 1, 3));
    // A later screen image comes alone, with its own four tries.
    console.mnudownloadlight_Click();
    for (int tick = 1; tick <= 3; ++tick) console.watchdogTick();
    receive(headerFrame({.height = 1}));
    EXPECT_EQ(answer(rawRow({1, 2, 3, 4})), kDownloadEnd);

    // A bitmap that never comes ends in "Communication Failed" too.
    host.fileAnswers.push_back(tmp.path("again.QTX"));
    console.mnuflashdownload_Click();
    host.written.clear();
    for (int tick = 1; tick <= 4; ++tick) console.watchdogTick();
    EXPECT_EQ(host.written, (Sent{kDownloadAll, kDownloadAll, kDownloadAll}));
    EXPECT_EQ(host.texts.back().text, "Communication Failed");
}

// An answer nothing asked for leaves the watchdog to what is still awaited.
TEST_F(ReceptionTest, StrayAnswersLeaveTheWatchdogToWhatIsAwaited) {
    console.setBaud(19200);
    console.establishLink(1);  // resends every 599 ms; pieces of a header restart at 110
    // An upload waiting for its begin frame, a page or its end frame, or done.
    for (const auto& [acked, resends] :
         {std::pair{0, true}, {1, true}, {193, false}, {194, false}}) {
        beginUpload(acked);
        host.stopTimer();
        receive(headerFrame({}) + kNak);  // no header is asked for; what follows is read
        EXPECT_EQ(host.timerRunning ? host.timerInterval : 0, resends ? 599 : 0) << acked;
        EXPECT_EQ(host.texts.back().text, "QTX did not understand command");
    }
    // After "Communication Failed" nothing is awaited any more.
    console.mnudownloadlight_Click();
    for (int tick = 0; tick < 4; ++tick) console.watchdogTick();
    receive(rawRow({1, 2, 3, 4}));  // a row while the header is awaited answers nothing
    EXPECT_FALSE(host.timerRunning);
}

// A header larger than the record: what fits is kept.
TEST_F(ReceptionTest, OddSizesCompleteWithWhatFits) {
    console.mnudownloadlight_Click();
    const Bytes request = answer(headerFrame({.height = 250, .width = 400, .firstrow = 0}));
    host.written.clear();
    // The QTX is asked for the whole row.
    EXPECT_EQ(std::tuple(console.image().imagedata.width, console.image().imagedata.height,
                         request.at(10) | request.at(11) << 8),
              std::tuple(320, 200, 400));
    Bytes tokens{0x00, 0x00};
    tokens.insert(tokens.end(), 399, 0x01);  // pixel x holds x - 1
    for (int r = 1; r <= 200; ++r) receive(compressedRow(tokens));
    EXPECT_EQ(std::pair(console.image().imageheight, console.image().imagedata.at(320, 200)),
              std::pair(std::int16_t{200}, std::uint16_t{319}));
    // Rows 1..199, then remote on and end.
    EXPECT_EQ(std::pair(host.written.size(), host.lastWritten()), std::pair(201UL, kDownloadEnd));
}

}  // namespace
}  // namespace qtx::test

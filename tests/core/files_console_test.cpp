// Saving, numbering, loading and the track list round trip, on a console with a fake host.
#include <filesystem>
#include <numeric>

#include "console_fixture.hpp"
#include "full_disk.hpp"

namespace qtx::test {
namespace {

namespace fs = std::filesystem;

class FilesTest : public ConsoleTest {
  protected:
    // The header of a 5 x 3 image: 12.5 s at 22:10:05 on 03/04/2026, -10.5 degrees, pedestal
    // 65535, focal length 25.4 in, aperture 10 in; a mosaic of 0, 6 or 40 snapshots; the
    // words of the track row are their own index.
    static ImageHeader facts(std::uint16_t exposures = 1, int mosaic = 0) {
        ImageHeader h;
        h.flags = kInches | kFactor98 | kAfternoon;
        h.flags |= mosaic == 6 ? kMosaicOf6 : mosaic == 40 ? kMosaicOf40 : 0;
        h.height = 3, h.width = 5, h.exposure = 1250, h.numexposures = exposures;
        h.focallength = 2540, h.aperture = 100, h.pedestal = 65535;
        h.date = 3 << 12 | 4 << 7 | 27, h.time = 10 << 12 | 10 << 6 | 5;
        h.temperature = std::uint16_t(-1050);
        std::iota(h.trackRow.begin(), h.trackRow.end(), 0);
        return h;
    }
    // The image received; pixel (x, y) = 1000 y + x, one of them high.
    void receiveImage(const ImageHeader& h) {
        console.mnudownloadlight_Click();
        for (const Bytes& frame :
             imageFrames(h, [](int x, int y) { return x == 5 && y == 3 ? 65535 : 1000 * y + x; }))
            receive(frame);
    }
    // Received, with its note and levels typed in.
    void holdImage(const ImageHeader& h = facts()) {
        receiveImage(h);
        host.promptAnswers.push_back("NGC 7000"), console.mnunote_Click();
        host.contrastAnswers.push_back({"65472", "40000"}), console.mnucontrast_Click();
    }
    std::vector<Bytes> reports() const {
        std::vector<Bytes> out;
        std::copy_if(host.written.begin(), host.written.end(), std::back_inserter(out),
                     [](const Bytes& w) { return w.size() > 1 && w[1] == 0x0B; });
        return out;
    }
    void saveAs(const std::string& path) {
        host.fileAnswers.push_back(path);
        console.mnuCompSave_Click();
    }
    void load(const std::string& path) {
        host.fileAnswers.push_back(path);
        console.mnuload_Click();
    }
    // A Download All under way: the QTX has named buffers 0 and 1, their images are to come.
    void beginDownloadAll() {
        host.fileAnswers.push_back(tmp.path("night.QTX"));
        console.mnuflashdownload_Click();
        receive(frameOf(3, wordBytes({0, 3})));
    }
};

TEST_F(FilesTest, SaveWritesTheImageAndItsCompanionsOrRefuses) {
    host.fileAnswers.push_back(tmp.path("auto.QTX"));
    console.mnuautosave_Click();
    console.mnuCompSave_Click();  // cancelled, and there is no image either
    saveAs(tmp.path("x.QTX"));
    EXPECT_EQ(host.messageBoxes, (std::vector<std::string>{"No file name specified",
                                                           "No image data available to save"}));
    EXPECT_FALSE(console.fileNaming().autosave);
    // Every dialog, also the one after another's, is a save dialog with the QTX filter.
    for (const FakeHost::FileDialogCall& dialog : host.fileDialogs) {
        EXPECT_FALSE(dialog.open);
        EXPECT_EQ(dialog.filter, "All Files (*.*)|*.*|QTX Files (*.QTX)|*.QTX");
    }
    EXPECT_TRUE(host.written.empty());

    // Companions only beside an image written; a file there before is never overwritten, and
    // the QTX is told of a refusal once.
    const struct {
        std::uint16_t exposures;
        int mosaic;
        std::string existing, files, message;
        std::vector<Bytes> reports;
    } cases[] = {
        {1, 0, "", ".QTX", ".QTX saved", {kSaved}},
        {0, 0, "", ".QTX", ".QTX saved", {kSaved}},
        {3, 0, "", ".QTX.trk", ".trk saved", {kSaved}},
        {1, 6, "", ".QTX.txt", ".txt saved", {kSaved, kSaved}},
        {40, 40, "", ".QTX.trk.txt", ".txt saved", {kSaved, kSaved}},
        {3, 0, ".QTX", ".QTX", ".QTX already exists!", {kNotSaved}},
        {3, 0, ".trk", ".QTX.trk", ".trk already exists!", {kNotSaved}},
    };
    int n = 0;
    for (const auto& c : cases) {
        holdImage(facts(c.exposures, c.mosaic));
        host.written.clear();
        const std::string base = tmp.path("m" + std::to_string(++n));
        if (!c.existing.empty()) TempDir::write(base + c.existing, "theirs");
        saveAs(base + ".old.QTX");
        SCOPED_TRACE(base);
        EXPECT_EQ(host.text(TextBox::PCtext), base + c.message);
        std::string files;
        for (const char* extension : {".QTX", ".trk", ".txt"})
            if (fs::exists(base + extension)) files += extension;
        EXPECT_EQ(files, c.files);
        EXPECT_EQ(c.existing.empty() ? "theirs" : TempDir::readText(base + c.existing), "theirs");
        EXPECT_EQ(reports(), c.reports);
    }
    // Every row as its record; the last row escapes to 65535.
    EXPECT_EQ(fs::file_size(tmp.path("m1.QTX")), 2048U + 8 + 8 + 10);
}

TEST_F(FilesTest, AutosaveNumbersSkipAndStopAtTheLimit) {
    console.mnuautosave_Click();
    EXPECT_EQ(host.text(TextBox::PCtext), "No file was selected!");
    host.fileAnswers.push_back(tmp.path("m31.QTX"));
    console.mnuautosave_Click();
    EXPECT_EQ(host.text(TextBox::PCtext), tmp.path("m31") + " selected");
    ASSERT_TRUE(console.fileNaming().autosave);

    // The QTX offers buffers 0..3; the third image's file is there already.
    TempDir::write(tmp.path("m31003.QTX"), "older");
    receive(kFlashOffer);
    receive(frameOf(3, wordBytes({0, 0xF})));
    for (int i = 1; i <= 3; ++i) {
        for (const Bytes& frame : imageFrames({}, [](int, int) { return 1; })) receive(frame);
    }
    EXPECT_TRUE(fs::exists(tmp.path("m31001.QTX")) && fs::exists(tmp.path("m31002.QTX")));
    EXPECT_EQ(TempDir::readText(tmp.path("m31003.QTX")), "older");
    EXPECT_EQ(host.lastWritten(), kDownloadEnd);  // the refusal ends a Download All
    receiveImage({});
    EXPECT_TRUE(fs::exists(tmp.path("m31004.QTX")));

    for (int n = 5; n <= 998; ++n) receiveImage({});
    EXPECT_TRUE(fs::exists(tmp.path("m31998.QTX")));
    for (int i = 0; i < 3; ++i) host.texts.clear(), receiveImage({});
    EXPECT_EQ(pcTexts().at(pcTexts().size() - 2), "999 file number limit reached!");  // then shown
    EXPECT_EQ(console.fileNaming().filenumber, 1000);  // never wraps into numbers that pass again
    EXPECT_EQ(reports().back(), kNotSaved);

    // A base whose first file exists is refused.
    host.fileAnswers.push_back(tmp.path("m31.QTX"));
    console.mnuautosave_Click();
    EXPECT_FALSE(console.fileNaming().autosave);
    EXPECT_EQ(host.messageBoxes.back(), tmp.path("m31001.QTX") + " already exists!");
}

// A disk that fills up part-way: every writer removes its half-written file, says why and
// tells the QTX (the bitmap, no file of the QTX's, tells it nothing), and the console goes on.
// A refusal ends the Download All under way.
TEST_F(FilesTest, FullDiskLeavesNoPartialFile) {
    // 160 exposures: the track list, with a pair of "-25536" a line, outgrows the image file.
    ImageHeader summed = facts(160);
    std::fill(summed.trackRow.begin(), summed.trackRow.end(), 40000);
    holdImage(summed);
    const struct {
        rlim_t bytes;
        std::function<void()> write;
        std::string file, message = {};
    } writers[] = {
        {40, [&] { saveAs(tmp.path("full.QTX")); }, tmp.path("full.QTX")},
        {2100, [&] { saveAs(tmp.path("a.QTX")); }, tmp.path("a.trk")},
        {40, [&] { host.fileAnswers.push_back(tmp.path("c.bmp")), console.mnubitmap_Click(); },
         tmp.path("c.bmp"), "Bitmap not saved: " + tmp.path("c.bmp") + ": File too large"},
    };
    for (const auto& w : writers) {
        SCOPED_TRACE(w.file);
        beginDownloadAll();
        host.written.clear();
        onFullDisk(w.write, w.bytes);
        EXPECT_FALSE(fs::exists(w.file));
        EXPECT_EQ(host.text(TextBox::PCtext),
                  w.message.empty() ? w.file + " could not be written: File too large" : w.message);
        EXPECT_EQ(reports(), std::vector<Bytes>(w.message.empty() ? 1 : 0, kNotSaved));
        EXPECT_EQ(console.transfer().downloadall, !w.message.empty());
    }
    EXPECT_TRUE(fs::exists(tmp.path("a.QTX")));
}

TEST_F(FilesTest, SavedImageLoadsBackTheSame) {
    for (const auto& [cm, exposures] : {std::pair<bool, std::uint16_t>{false, 1}, {true, 5}}) {
        holdImage(facts(exposures));
        if (cm) console.mnucentimeters_Click();
        const std::string name = cm ? "cm" : "in";
        saveAs(tmp.path(name + ".QTX"));
        ImageHeader other;  // of 7 exposures, received in the same unit before the load
        other.flags = cm ? kFactor98 : kInches | kFactor98, other.numexposures = 7;
        receiveImage(other);
        load(tmp.path(name + ".QTX"));
        EXPECT_TRUE(host.fileDialogs.back().open);
        EXPECT_TRUE(host.messageBoxes.empty());
        EXPECT_TRUE(host.text(TextBox::headertxt)
                        .starts_with(tmp.path(name + ".QTX") + "\r\nQTX Compressed Image\r\n"));
        // The track list was read.
        const TrackOffsets& track = console.trackOffsets();
        EXPECT_EQ(track.trackcount, exposures);
        EXPECT_EQ(track.trackx[2] + track.tracky[5], exposures > 1 ? 2 + 9 : 0);
        // Every field and pixel came back: saving again gives the very same bytes.
        saveAs(tmp.path(name + "2.QTX"));
        EXPECT_EQ(TempDir::read(tmp.path(name + "2.QTX")), TempDir::read(tmp.path(name + ".QTX")));
    }
    // A summed image without its track list, or with one of fewer pairs.
    const std::string trk = TempDir::readText(tmp.path("cm.trk"));
    for (const std::string& list : {std::string(), trk.substr(0, trk.find(" 4,")) + "End \r\n"}) {
        fs::remove(tmp.path("cm.trk"));
        if (!list.empty()) TempDir::write(tmp.path("cm.trk"), list);
        receiveImage({.numexposures = 7});
        host.messageBoxes.clear();
        load(tmp.path("cm.QTX"));
        EXPECT_EQ(console.trackOffsets().trackcount, list.empty() ? 1 : 2);
        EXPECT_EQ(host.messageBoxes,
                  std::vector<std::string>{list.empty() ? "No track file found for this track and "
                                                          "accumulate image!"
                                                        : "Track File does not match image!"});
    }
}

// A loaded image is saved with the lines its file held, not with the facts of the image
// received before it; only a value the user changed is written anew.
TEST_F(FilesTest, LoadedImageSavesItsOwnHeaderLines) {
    ImageHeader lunar = facts();
    lunar.flags |= kHistoryG | kPixels148 | kLunar, lunar.egain = 230, lunar.site = 3;
    holdImage(lunar);
    saveAs(tmp.path("own.QTX"));
    const std::string own = TempDir::readText(tmp.path("own.QTX"));
    // Header lines changed, the block padded again; the rows stay.
    const auto edited = [&own](const std::vector<std::pair<std::string, std::string>>& edits) {
        std::string header = own.substr(0, 2048);
        for (const auto& [from, to] : edits) header.replace(header.find(from), from.size(), to);
        header.resize(2048, ' ');
        return header + own.substr(2048);
    };
    // The uncompressed form: plain rows of 1000 y + x, the last pixel 65535.
    std::string plain = edited({{"QTX Compressed Image", "QTX Image"}}).substr(0, 2048);
    for (int k = 0; k < 15; ++k) {
        const int v = k == 14 ? 65535 : 1000 * (k / 5 + 1) + k % 5 + 1;
        plain += {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
    }
    const std::string note = "Note = NGC 7000\n\r", end = "End\n\r";
    const struct {
        const char* what;
        std::string file, note, saved;
    } cases[] = {
        {"unchanged", own, "", own},
        {"uncompressed", plain, "", own},
        {"note edited", own, "M42", edited({{note, "Note = M42\n\r"}})},
        {"note the file had not", edited({{note, ""}}), "M42",
         edited({{note, ""}, {end, "Note = M42\n\r" + end}})},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ImageHeader other = facts();  // received last: other facts everywhere
        other.date = 3 << 12 | 4 << 7 | 2;
        holdImage(other);
        const std::string name = tmp.path("l" + std::to_string(++n));
        TempDir::write(name + ".QTX", c.file);
        load(name + ".QTX");
        if (!c.note.empty()) host.promptAnswers.push_back(c.note), console.mnunote_Click();
        saveAs(name + "s.QTX");
        EXPECT_EQ(TempDir::readText(name + "s.QTX"), c.saved);
    }
}

// A loaded summed image writes the track list it came with, and a loaded image is never
// taken for the mosaic received before it.
TEST_F(FilesTest, LoadedImageSavesItsOwnTrackList) {
    holdImage(facts(3));
    saveAs(tmp.path("own.QTX"));
    for (const bool withList : {true, false}) {
        SCOPED_TRACE(withList);
        if (!withList) fs::remove(tmp.path("own.trk"));
        ImageHeader mosaic = facts(3, 6);  // received last: a mosaic with other words
        mosaic.height = 99;
        std::fill(mosaic.trackRow.begin(), mosaic.trackRow.end(), 7);
        receiveImage(mosaic);
        load(tmp.path("own.QTX"));
        host.written.clear();
        const std::string saved = tmp.path(withList ? "a" : "b");
        saveAs(saved + ".QTX");
        EXPECT_EQ(fs::exists(saved + ".trk"), withList);
        if (withList) {
            EXPECT_EQ(TempDir::readText(saved + ".trk"), TempDir::readText(tmp.path("own.trk")));
        }
        EXPECT_FALSE(fs::exists(saved + ".txt"));
        EXPECT_EQ(reports(), std::vector<Bytes>{kSaved});
    }
}

TEST_F(FilesTest, LoadRefusals) {
    holdImage();
    saveAs(tmp.path("good.QTX"));
    const std::string text = TempDir::readText(tmp.path("good.QTX"));
    const auto variant = [&](const std::string& from, const std::string& to) {
        return std::string(text).replace(text.find(from), from.size(), to);
    };
    const std::string failed = "Load file command failed";
    const struct {
        std::string name, bytes, message;
    } cases[] = {
        {"wide.QTX", variant("Width =  5", "Width =  321"), "Image is too wide - not QTX Format!"},
        {"tall.QTX", variant("Height =  3", "Height =  201"),
         "Image is too tall - not QTX Format!"},
        {"none.QTX", variant("Width =  5", "Width =  0"), failed},
        {"neg.QTX", variant("Height =  3", "Height = -3"), failed},
        {"bad.QTX", variant("Range =  40000", "Range = lots"), failed},
        {"short.QTX", text.substr(0, text.size() - 3), failed},
        {"pic.bmp.QTX", text, "Program cannot read bitmap files"},
    };
    // Nothing of a refused file is applied: not its facts, nor its lines, nor its name.
    const auto state = [&] {
        const ImageRecord& r = console.image();
        return std::tuple(r.imagenote, r.background, r.exposure100, r.imagewidth, r.imageheight,
                          r.imagedata.cells, host.text(TextBox::headertxt),
                          console.fileNaming().currentfile);
    };
    ImageHeader other = facts();
    other.exposure = 1;
    for (const auto& c : cases) {
        receiveImage(other);
        host.promptAnswers.push_back("before"), console.mnunote_Click();
        host.contrastAnswers.push_back({"7", "40000"}), console.mnucontrast_Click();
        const auto before = state();
        TempDir::write(tmp.path(c.name), c.bytes);
        host.messageBoxes.clear();
        load(tmp.path(c.name));
        EXPECT_EQ(host.messageBoxes, std::vector<std::string>{c.message}) << c.name;
        EXPECT_TRUE(state() == before) << c.name;
    }
    host.messageBoxes.clear();
    load(tmp.path("missing.QTX"));
    EXPECT_EQ(host.messageBoxes, std::vector<std::string>{failed});
    EXPECT_EQ(host.text(TextBox::PCtext), tmp.path("missing.QTX") + ": No such file or directory");
    // A folder opens but cannot be read: the reason is the system's, not a made-up one.
    fs::create_directory(tmp.path("folder.QTX"));
    load(tmp.path("folder.QTX"));
    EXPECT_EQ(host.text(TextBox::PCtext), tmp.path("folder.QTX") + ": Is a directory");
}

}  // namespace
}  // namespace qtx::test

// Saving, numbering, loading and the track list round trip, on a console with a fake host.
#include <filesystem>

#include "console_fixture.hpp"
#include "full_disk.hpp"

namespace qtx::test {
namespace {

namespace fs = std::filesystem;

class FilesTest : public ConsoleTest {
  protected:
    // A 5 x 3 image as if just received; pixel (x, y) = 1000 y + x, one of them high.
    void holdImage(std::int16_t exposures = 1, std::int16_t mosaic = 0) {
        ConsoleTest::holdImage(
            5, 3, [](int x, int y) { return x == 5 && y == 3 ? 65535 : 1000 * y + x; }, 65472,
            40000);
        ImageRecord& r = console.record;
        r.numexposures = exposures, r.mosaicsnapshots = mosaic, r.imagenote = "NGC 7000";
        r.imagedate = "03/04/2026", r.imagetime = "22:10:05", r.exposure100 = 1250;
        r.pedestal = 65535, r.temperature = -10.5F, r.aperturearea = 64.516F;
        r.focallength = 25.4F;  // 10 inches when held in centimetres
        for (std::size_t k = 0; k < 320; ++k)
            console.reception.tracklist[k] = static_cast<std::int32_t>(k);
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
};

TEST_F(FilesTest, SaveWritesTheImageAndItsCompanionsOrRefuses) {
    console.files.autosave = true;
    console.mnuCompSave_Click();  // cancelled, and there is no image either
    EXPECT_EQ(host.messageBoxes, std::vector<std::string>{"No file name specified"});
    EXPECT_FALSE(console.files.autosave);
    saveAs(tmp.path("x.QTX"));
    EXPECT_EQ(host.messageBoxes.back(), "No image data available to save");
    EXPECT_FALSE(host.fileDialogs[0].open);
    EXPECT_EQ(host.fileDialogs[0].filter, "All Files (*.*)|*.*|QTX Files (*.QTX)|*.QTX");
    EXPECT_TRUE(host.written.empty());

    const struct {
        std::int16_t exposures, mosaic;
        bool trk, txt;
    } cases[] = {{1, 0, false, false},
                 {0, 0, false, false},
                 {3, 0, true, false},
                 {1, 1, false, true},
                 {40, 40, true, true}};
    int n = 0;
    for (const auto& c : cases) {
        holdImage(c.exposures, c.mosaic);
        host.written.clear();
        const std::string base = tmp.path("m" + std::to_string(++n));
        saveAs(base + ".old.QTX");
        SCOPED_TRACE(base);
        const char* last = c.txt ? ".txt" : c.trk ? ".trk" : ".QTX";
        EXPECT_EQ(host.text(TextBox::PCtext), base + last + " saved");
        EXPECT_TRUE(fs::exists(base + ".QTX"));
        EXPECT_EQ(fs::exists(base + ".trk"), c.trk);
        EXPECT_EQ(fs::exists(base + ".txt"), c.txt);
        EXPECT_EQ(reports(), std::vector<Bytes>(c.txt ? 2 : 1, kSaved));  // one for the image
    }
    // Every row as its record; the last row escapes to 65535.
    EXPECT_EQ(fs::file_size(tmp.path("m1.QTX")), 2048U + 8 + 8 + 10);
}

TEST_F(FilesTest, AnExistingFileIsNeverOverwritten) {
    holdImage(3);
    TempDir::write(tmp.path("x.QTX"), "mine");
    saveAs(tmp.path("x.QTX"));
    EXPECT_EQ(host.text(TextBox::PCtext), tmp.path("x.QTX") + " already exists!");
    EXPECT_EQ(TempDir::readText(tmp.path("x.QTX")), "mine");
    // No track list beside someone else's image, and one refusal only.
    EXPECT_FALSE(fs::exists(tmp.path("x.trk")));
    EXPECT_EQ(reports(), std::vector<Bytes>{kNotSaved});

    host.written.clear();
    TempDir::write(tmp.path("y.trk"), "theirs");
    saveAs(tmp.path("y.QTX"));
    EXPECT_TRUE(fs::exists(tmp.path("y.QTX")));
    EXPECT_EQ(TempDir::readText(tmp.path("y.trk")), "theirs");
    EXPECT_EQ(host.text(TextBox::PCtext), tmp.path("y.trk") + " already exists!");
    EXPECT_EQ(reports(), std::vector<Bytes>{kNotSaved});
}

TEST_F(FilesTest, NumberedNamesSkipAndStopAtTheLimit) {
    holdImage();
    console.files.autosave = true;
    console.files.autofilename = tmp.path("m31");
    TempDir::write(tmp.path("m31003.QTX"), "older");
    console.reception.downloadall = true;
    for (int i = 1; i <= 4; ++i) console.writeimagefile();
    EXPECT_TRUE(fs::exists(tmp.path("m31001.QTX")) && fs::exists(tmp.path("m31002.QTX")));
    EXPECT_EQ(TempDir::readText(tmp.path("m31003.QTX")), "older");
    EXPECT_TRUE(fs::exists(tmp.path("m31004.QTX")));
    EXPECT_FALSE(console.reception.downloadall);  // the refusal ends a Download All

    console.files.filenumber = 998;
    console.writeimagefile();
    EXPECT_TRUE(fs::exists(tmp.path("m31998.QTX")));
    for (int i = 0; i < 40000; ++i) console.writeimagefile();
    EXPECT_EQ(host.text(TextBox::PCtext), "999 file number limit reached!");
    EXPECT_EQ(console.files.filenumber, 1000);  // never wraps into numbers that pass again
    EXPECT_EQ(reports().back(), kNotSaved);
    EXPECT_TRUE(console.files.autosave);
}

TEST_F(FilesTest, AutosaveCommandChoosesTheBase) {
    console.mnuautosave_Click();
    EXPECT_EQ(host.text(TextBox::PCtext), "No file was selected!");
    EXPECT_EQ(host.messageBoxes.back(), "No file was selected");
    EXPECT_FALSE(console.files.autosave);

    // A "." in a folder name cuts the name there.
    const std::string dotted = tmp.path("obs.2001/m31.QTX");
    fs::create_directory(tmp.path("obs.2001"));
    host.fileAnswers.push_back(dotted);
    console.mnuautosave_Click();
    EXPECT_EQ(host.text(TextBox::PCtext), tmp.path("obs") + " selected");
    EXPECT_TRUE(console.files.autosave);
    EXPECT_EQ(console.files.filenumber, 1);

    TempDir::write(tmp.path("obs001.QTX"), "");
    host.fileAnswers.push_back(dotted);
    console.mnuautosave_Click();
    EXPECT_FALSE(console.files.autosave);
    EXPECT_EQ(host.messageBoxes.back(), tmp.path("obs001.QTX") + " already exists!");
}

// A disk that fills up part-way: every writer removes its half-written file, says why and
// tells the QTX, and the console goes on.
TEST_F(FilesTest, FullDiskLeavesNoPartialFile) {
    holdImage(3, 6);
    const struct {
        std::function<void()> write;
        std::string file;
    } writers[] = {
        {[&] { saveAs(tmp.path("full.QTX")); }, tmp.path("full.QTX")},
        {[&] { console.files.currentfile = tmp.path("a.QTX"), console.writetracklist(); },
         tmp.path("a.trk")},
        {[&] { console.files.currentfile = tmp.path("b.QTX"), console.writemosaicdata(); },
         tmp.path("b.txt")},
    };
    for (const auto& w : writers) {
        SCOPED_TRACE(w.file);
        host.written.clear();
        console.reception.downloadall = true;
        test::onFullDisk(w.write);
        EXPECT_FALSE(fs::exists(w.file));
        EXPECT_EQ(host.text(TextBox::PCtext), w.file + " could not be written: File too large");
        EXPECT_EQ(reports(), std::vector<Bytes>{kNotSaved});
        EXPECT_FALSE(console.reception.downloadall);
    }
    // The bitmap is no file of the QTX's: it tells the QTX nothing, but leaves nothing half.
    host.written.clear();
    host.fileAnswers.push_back(tmp.path("full.bmp"));
    test::onFullDisk([&] { console.mnubitmap_Click(); });
    EXPECT_FALSE(fs::exists(tmp.path("full.bmp")));
    EXPECT_EQ(host.text(TextBox::PCtext),
              "Bitmap not saved: " + tmp.path("full.bmp") + ": File too large");
    EXPECT_TRUE(host.written.empty());
    // A folder that is not there; the next save, with room again, works.
    saveAs(tmp.path("no/such/folder/x.QTX"));
    EXPECT_EQ(host.text(TextBox::PCtext), tmp.path("no/such/folder/x.QTX") +
                                              " could not be written: No such file or directory");
    saveAs(tmp.path("room.QTX"));
    EXPECT_TRUE(fs::exists(tmp.path("room.QTX")));
}

TEST_F(FilesTest, SavedImageLoadsBackTheSame) {
    for (const auto& [cm, exposures] : {std::pair<bool, std::int16_t>{false, 1}, {true, 5}}) {
        holdImage(exposures);
        console.optics.unitscm = cm;
        const ImageRecord before = console.record;
        const std::string name = cm ? "cm" : "in";
        saveAs(tmp.path(name + ".QTX"));
        console.record = ImageRecord{};
        console.track.trackcount = 7;
        load(tmp.path(name + ".QTX"));
        const ImageRecord& r = console.record;
        EXPECT_EQ(r.imagedata.cells, before.imagedata.cells);
        EXPECT_EQ(std::tuple(r.imagewidth, r.imageheight, r.background, r.range, r.exposure100,
                             r.numexposures, r.pedestal),
                  std::tuple(5, 3, 65472, 40000, 1250, exposures, 65535));
        EXPECT_EQ(r.imagedate + r.imagetime + r.imagenote,
                  before.imagedate + before.imagetime + before.imagenote);
        EXPECT_FLOAT_EQ(r.temperature, -10.5F);
        EXPECT_NEAR(r.focallength, 25.4F, 1e-4);
        EXPECT_NEAR(r.aperturearea, 64.516F, 1e-3);
        EXPECT_TRUE(host.fileDialogs.back().open);
        // The information text: the path, then the 33 lines; the track list was read.
        const std::string info = host.text(TextBox::headertxt);
        EXPECT_EQ(info.substr(0, info.find("\r\n")), tmp.path(name + ".QTX"));
        EXPECT_EQ(std::count(info.begin(), info.end(), '\n'), 34);
        EXPECT_EQ(console.track.trackcount, exposures);
        EXPECT_EQ(console.track.trackx[2] + console.track.tracky[5], exposures > 1 ? 2 + 9 : 0);
        EXPECT_EQ(console.files.currentfile, tmp.path(name + (exposures > 1 ? ".trk" : ".QTX")));
        EXPECT_TRUE(host.messageBoxes.empty());
        // Saving again gives the very same bytes.
        saveAs(tmp.path(name + "2.QTX"));
        EXPECT_EQ(TempDir::read(tmp.path(name + "2.QTX")), TempDir::read(tmp.path(name + ".QTX")));
    }
}

TEST_F(FilesTest, LoadRefusals) {
    holdImage();
    saveAs(tmp.path("good.QTX"));
    const std::string text = TempDir::readText(tmp.path("good.QTX"));
    const auto variant = [&](const std::string& from, const std::string& to, std::size_t cut = 0) {
        std::string v = text;
        v.replace(v.find(from), from.size(), to);
        v.resize(v.size() - cut);
        return v;
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
        {"short.QTX", variant("Range", "Range", 3), failed},
        {"pic.bmp.QTX", text, "Program cannot read bitmap files"},
    };
    for (const auto& c : cases) {
        holdImage();
        TempDir::write(tmp.path(c.name), c.bytes);
        host.messageBoxes.clear();
        load(tmp.path(c.name));
        EXPECT_EQ(host.messageBoxes, std::vector<std::string>{c.message}) << c.name;
        // The size fields still describe the pixels held.
        const ImageRecord& r = console.record;
        EXPECT_EQ(r.imagewidth * 1000 + r.imageheight,
                  r.imagedata.width * 1000 + r.imagedata.height);
    }
    host.messageBoxes.clear();
    load(tmp.path("missing.QTX"));
    console.mnuload_Click();
    EXPECT_EQ(host.messageBoxes, (std::vector<std::string>{failed, "No file was selected"}));
    EXPECT_EQ(host.text(TextBox::PCtext), tmp.path("missing.QTX") + ": No such file or directory");
    // A folder opens but cannot be read: the reason is the system's, not a made-up one.
    fs::create_directory(tmp.path("folder.QTX"));
    load(tmp.path("folder.QTX"));
    EXPECT_EQ(host.text(TextBox::PCtext), tmp.path("folder.QTX") + ": Is a directory");
}

TEST_F(FilesTest, TrackListOnLoad) {
    holdImage(3);
    saveAs(tmp.path("s.QTX"));
    const std::string trk = TempDir::readText(tmp.path("s.trk"));
    const struct {
        std::string trk;  // empty: none
        std::int16_t trackcount;
        std::vector<std::string> messages;
    } cases[] = {
        {"", 1, {"No track file found for this track and accumulate image!"}},
        {trk.substr(0, trk.find(" 4,")) + "End \r\n", 2, {"Track File does not match image!"}},
    };
    for (const auto& c : cases) {
        fs::remove(tmp.path("s.trk"));
        if (!c.trk.empty()) TempDir::write(tmp.path("s.trk"), c.trk);
        console.track.trackcount = 7;
        host.messageBoxes.clear();
        load(tmp.path("s.QTX"));
        EXPECT_EQ(console.track.trackcount, c.trackcount) << c.trackcount;
        EXPECT_EQ(host.messageBoxes, c.messages) << c.trackcount;
    }
}

}  // namespace
}  // namespace qtx::test

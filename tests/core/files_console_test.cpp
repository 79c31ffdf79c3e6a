// Saving, numbering, loading and the track list round trip, on a console with a fake host.
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <functional>

#include "console_fixture.hpp"

namespace qtx::test {
namespace {

const Bytes kSaved{0xA5, 0x0B, 0x02, 0x00, 0xB2, 0x00, 0x00, 0x00, 0x00, 0x00};
const Bytes kNotSaved{0xA5, 0x0B, 0x02, 0x00, 0xB2, 0x00, 0x01, 0x00, 0x01, 0x00};

class FilesTest : public ConsoleTest {
  protected:
    // A 5 x 3 image as if just received; pixel (x, y) = 1000 x y + x, one of them high.
    void holdImage(std::int16_t exposures = 1, std::int16_t mosaic = 0) {
        ImageRecord& r = console.record;
        r.imagedata.resize(5, 3);
        for (int y = 1; y <= 3; ++y) {
            for (int x = 1; x <= 5; ++x) r.imagedata.at(x, y) = static_cast<std::uint16_t>(1000 * y + x);
        }
        r.imagedata.at(5, 3) = 65535;
        r.imagewidth = 5;
        r.imageheight = 3;
        r.numexposures = exposures;
        r.mosaicsnapshots = mosaic;
        r.background = 900;
        r.range = 40000;
        r.imagedate = "03/04/2026";
        r.imagetime = "22:10:05";
        r.imagenote = "NGC 7000";
        r.exposure100 = 1250;
        r.pedestal = 100;
        r.temperature = -10.5F;
        r.focallength = 25.4F;  // 10 inches when held in centimetres
        r.aperturearea = 64.516F;
        for (std::size_t k = 0; k < 320; ++k) console.reception.tracklist[k] = static_cast<std::int32_t>(k);
    }
    std::vector<Bytes> reports() const {
        std::vector<Bytes> out;
        for (const Bytes& w : host.written) {
            if (w.size() > 1 && w[1] == 0x0B) out.push_back(w);
        }
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

TEST_F(FilesTest, SaveCommandRefusals) {
    console.files.autosave = true;
    console.mnuCompSave_Click();  // cancelled, and there is no image either
    EXPECT_EQ(host.messageBoxes, std::vector<std::string>{"No file name specified"});
    EXPECT_FALSE(console.files.autosave);
    saveAs(tmp.path("x.QTX"));
    EXPECT_EQ(host.messageBoxes.back(), "No image data available to save");
    ASSERT_EQ(host.fileDialogs.size(), 2U);
    EXPECT_FALSE(host.fileDialogs[0].open);
    EXPECT_EQ(host.fileDialogs[0].filter, "All Files (*.*)|*.*|QTX Files (*.QTX)|*.QTX");
    EXPECT_TRUE(host.written.empty());
}

TEST_F(FilesTest, SaveWritesTheImageAndItsCompanions) {
    const struct {
        std::int16_t exposures, mosaic;
        bool trk, txt;
        std::size_t reports;
    } cases[] = {
        {1, 0, false, false, 1}, {0, 0, false, false, 1}, {3, 0, true, false, 1},
        {1, 6, false, true, 2},  {40, 40, true, true, 2},
    };
    int n = 0;
    for (const auto& c : cases) {
        holdImage(c.exposures, c.mosaic);
        host.written.clear();
        const std::string base = tmp.path("m" + std::to_string(++n));
        saveAs(base + ".old.QTX");
        EXPECT_EQ(host.text(TextBox::PCtext), base + (c.txt ? ".txt" : c.trk ? ".trk" : ".QTX") + " saved");
        EXPECT_TRUE(std::filesystem::exists(base + ".QTX"));
        EXPECT_EQ(std::filesystem::exists(base + ".trk"), c.trk) << c.exposures;
        EXPECT_EQ(std::filesystem::exists(base + ".txt"), c.txt) << c.mosaic;
        EXPECT_EQ(reports(), std::vector<Bytes>(c.reports, kSaved)) << c.exposures << " " << c.mosaic;
    }
    const Bytes file = TempDir::read(tmp.path("m1.QTX"));
    ASSERT_EQ(file.size(), 2048U + 8 + 8 + 10);  // the last row escapes to 65535
    // Row 1: 1001 then +1 four times; byte 2048 is the low byte of its count.
    EXPECT_EQ(Bytes(file.begin() + 2048, file.begin() + 2048 + 8),
              (Bytes{0x06, 0x00, 0xE9, 0x03, 0x01, 0x01, 0x01, 0x01}));
}

TEST_F(FilesTest, AnExistingFileIsNeverOverwritten) {
    holdImage(3);
    TempDir::write(tmp.path("x.QTX"), "mine");
    saveAs(tmp.path("x.QTX"));
    EXPECT_EQ(host.text(TextBox::PCtext), tmp.path("x.QTX") + " already exists!");
    EXPECT_EQ(TempDir::readText(tmp.path("x.QTX")), "mine");
    // No track list beside someone else's image, and one refusal only.
    EXPECT_FALSE(std::filesystem::exists(tmp.path("x.trk")));
    EXPECT_EQ(reports(), std::vector<Bytes>{kNotSaved});

    host.written.clear();
    TempDir::write(tmp.path("y.trk"), "theirs");
    saveAs(tmp.path("y.QTX"));
    EXPECT_TRUE(std::filesystem::exists(tmp.path("y.QTX")));
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
    EXPECT_TRUE(std::filesystem::exists(tmp.path("m31001.QTX")));
    EXPECT_TRUE(std::filesystem::exists(tmp.path("m31002.QTX")));
    EXPECT_EQ(TempDir::readText(tmp.path("m31003.QTX")), "older");
    EXPECT_TRUE(std::filesystem::exists(tmp.path("m31004.QTX")));
    EXPECT_FALSE(console.reception.downloadall);  // the refusal ends a Download All

    console.files.filenumber = 998;
    console.writeimagefile();
    EXPECT_TRUE(std::filesystem::exists(tmp.path("m31998.QTX")));
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

    const std::string dotted = tmp.path("obs.2001");
    std::filesystem::create_directory(dotted);
    host.fileAnswers.push_back(dotted + "/m31.QTX");
    console.mnuautosave_Click();
    EXPECT_EQ(console.files.autofilename, tmp.path("obs"));
    EXPECT_EQ(host.text(TextBox::PCtext), tmp.path("obs") + " selected");
    EXPECT_TRUE(console.files.autosave);
    EXPECT_EQ(console.files.filenumber, 1);

    TempDir::write(tmp.path("obs001.QTX"), "");
    host.fileAnswers.push_back(dotted + "/m31.QTX");
    console.mnuautosave_Click();
    EXPECT_FALSE(console.files.autosave);
    EXPECT_EQ(host.messageBoxes.back(), tmp.path("obs001.QTX") + " already exists!");
}

TEST_F(FilesTest, FailedWritesLeaveNothingBehind) {
    holdImage();
    saveAs(tmp.path("no/such/folder/x.QTX"));
    EXPECT_EQ(host.text(TextBox::PCtext),
              tmp.path("no/such/folder/x.QTX") + " could not be written: No such file or directory");
    EXPECT_EQ(reports(), std::vector<Bytes>{kNotSaved});
}

// Runs a write as if the disk filled up after 40 bytes of any file.
void onFullDisk(const std::function<void()>& write) {
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 40;
    setrlimit(RLIMIT_FSIZE, &small);
    write();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
}

// A disk that fills up part-way: every writer removes its half-written file, says why and
// tells the QTX, and the console goes on.
TEST_F(FilesTest, FullDiskLeavesNoPartialFile) {
    holdImage(3, 6);
    const struct {
        const char* what;
        std::function<void()> write;
        std::string file;
    } writers[] = {
        {"image", [&] { saveAs(tmp.path("full.QTX")); }, tmp.path("full.QTX")},
        {"track list", [&] { console.files.currentfile = tmp.path("a.QTX"); console.writetracklist(); },
         tmp.path("a.trk")},
        {"mosaic table", [&] { console.files.currentfile = tmp.path("b.QTX"); console.writemosaicdata(); },
         tmp.path("b.txt")},
    };
    for (const auto& w : writers) {
        host.written.clear();
        console.reception.downloadall = true;
        onFullDisk(w.write);
        EXPECT_FALSE(std::filesystem::exists(w.file)) << w.what;
        EXPECT_EQ(host.text(TextBox::PCtext), w.file + " could not be written: File too large") << w.what;
        EXPECT_EQ(reports(), std::vector<Bytes>{kNotSaved}) << w.what;
        EXPECT_FALSE(console.reception.downloadall) << w.what;
    }
    // The bitmap is no file of the QTX's: it tells the QTX nothing, but leaves nothing half.
    host.written.clear();
    host.fileAnswers.push_back(tmp.path("full.bmp"));
    onFullDisk([&] { console.mnubitmap_Click(); });
    EXPECT_FALSE(std::filesystem::exists(tmp.path("full.bmp")));
    EXPECT_EQ(host.text(TextBox::PCtext),
              "Bitmap not saved: " + tmp.path("full.bmp") + ": File too large");
    // And the next save, with room again, works.
    saveAs(tmp.path("room.QTX"));
    EXPECT_TRUE(std::filesystem::exists(tmp.path("room.QTX")));
}

TEST_F(FilesTest, ReadOnlyFolderRefusesEveryWriter) {
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not refuse the superuser";
    holdImage(3, 6);
    const std::string folder = tmp.path("ro");
    std::filesystem::create_directory(folder);
    std::filesystem::permissions(folder, std::filesystem::perms::owner_read |
                                             std::filesystem::perms::owner_exec);
    saveAs(folder + "/x.QTX");
    EXPECT_EQ(host.text(TextBox::PCtext), folder + "/x.QTX could not be written: Permission denied");
    EXPECT_EQ(reports(), std::vector<Bytes>{kNotSaved});
    console.files.currentfile = folder + "/y.QTX";
    console.writetracklist();
    console.writemosaicdata();
    host.fileAnswers.push_back(folder + "/z.bmp");
    console.mnubitmap_Click();
    EXPECT_EQ(host.text(TextBox::PCtext), "Bitmap not saved: " + folder + "/z.bmp: Permission denied");
    EXPECT_EQ(reports(), std::vector<Bytes>(3, kNotSaved));
    EXPECT_TRUE(std::filesystem::is_empty(folder));
}

TEST_F(FilesTest, SavedImageLoadsBackTheSame) {
    for (bool cm : {false, true}) {
        holdImage(5);
        console.optics.unitscm = cm;
        const ImageRecord before = console.record;
        const std::string name = cm ? "cm" : "in";
        saveAs(tmp.path(name + ".QTX"));
        console.record = ImageRecord{};
        console.record.numexposures = 1;
        load(tmp.path(name + ".QTX"));
        const ImageRecord& r = console.record;
        EXPECT_EQ(r.imagedata.cells, before.imagedata.cells);
        EXPECT_EQ(r.imagewidth, 5);
        EXPECT_EQ(r.imageheight, 3);
        EXPECT_EQ(r.background, 900);
        EXPECT_EQ(r.range, 40000);
        EXPECT_EQ(r.imagedate, before.imagedate);
        EXPECT_EQ(r.imagetime, before.imagetime);
        EXPECT_EQ(r.imagenote, before.imagenote);
        EXPECT_EQ(r.exposure100, 1250);
        EXPECT_EQ(r.numexposures, 5);
        EXPECT_EQ(r.pedestal, 100);
        EXPECT_FLOAT_EQ(r.temperature, -10.5F);
        EXPECT_NEAR(r.focallength, 25.4F, 1e-4);
        EXPECT_NEAR(r.aperturearea, 64.516F, 1e-3);
        EXPECT_TRUE(host.fileDialogs.back().open);
        // The information text: the path, then the 33 lines; the track list was read.
        const std::string info = host.text(TextBox::headertxt);
        EXPECT_EQ(info.substr(0, info.find("\r\n")), tmp.path(name + ".QTX"));
        EXPECT_EQ(std::count(info.begin(), info.end(), '\n'), 34);
        EXPECT_EQ(console.track.trackcount, 5);
        EXPECT_EQ(console.track.trackx[2], 2);
        EXPECT_EQ(console.track.tracky[5], 9);
        EXPECT_EQ(console.files.currentfile, tmp.path(name + ".trk"));
        EXPECT_TRUE(host.messageBoxes.empty());
        // Saving again gives the very same bytes.
        saveAs(tmp.path(name + "2.QTX"));
        Bytes first = TempDir::read(tmp.path(name + ".QTX"));
        EXPECT_EQ(TempDir::read(tmp.path(name + "2.QTX")), first);
    }
}

TEST_F(FilesTest, LoadRefusals) {
    holdImage();
    saveAs(tmp.path("good.QTX"));
    const Bytes good = TempDir::read(tmp.path("good.QTX"));
    const std::string text(good.begin(), good.end());
    const auto variant = [&](const std::string& from, const std::string& to, std::size_t cut = 0) {
        std::string v = text;
        v.replace(v.find(from), from.size(), to);
        if (cut) v.resize(v.size() - cut);
        return v;
    };
    const struct {
        std::string name, bytes, message;
    } cases[] = {
        {"wide.QTX", variant("Width =  5", "Width =  321"), "Image is too wide - not QTX Format!"},
        {"tall.QTX", variant("Height =  3", "Height =  201"), "Image is too tall - not QTX Format!"},
        {"none.QTX", variant("Width =  5", "Width =  0"), "Load file command failed"},
        {"neg.QTX", variant("Height =  3", "Height = -3"), "Load file command failed"},
        {"bad.QTX", variant("Range =  40000", "Range = lots"), "Load file command failed"},
        {"short.QTX", variant("Range", "Range", 3), "Load file command failed"},
        {"pic.bmp.QTX", text, "Program cannot read bitmap files"},
    };
    for (const auto& c : cases) {
        holdImage();
        TempDir::write(tmp.path(c.name), c.bytes);
        host.messageBoxes.clear();
        load(tmp.path(c.name));
        EXPECT_EQ(host.messageBoxes, std::vector<std::string>{c.message}) << c.name;
        // The size fields still describe the pixels held.
        EXPECT_EQ(console.record.imagewidth, console.record.imagedata.width) << c.name;
        EXPECT_EQ(console.record.imageheight, console.record.imagedata.height) << c.name;
    }
    host.messageBoxes.clear();
    load(tmp.path("missing.QTX"));
    console.mnuload_Click();
    EXPECT_EQ(host.messageBoxes,
              (std::vector<std::string>{"Load file command failed", "No file was selected"}));
    EXPECT_EQ(host.text(TextBox::PCtext),
              tmp.path("missing.QTX") + ": No such file or directory");
}

TEST_F(FilesTest, TrackListOnLoad) {
    holdImage(3);
    saveAs(tmp.path("s.QTX"));
    const std::string trk = TempDir::readText(tmp.path("s.trk"));
    const struct {
        const char* what;
        std::string trk;
        std::int16_t trackcount;
        std::vector<std::string> messages;
    } cases[] = {
        {"matching", trk, 3, {}},
        {"missing", "", 1, {"No track file found for this track and accumulate image!"}},
        {"fewer pairs", trk.substr(0, trk.find(" 4,")) + "End \r\n", 2, {"Track File does not match image!"}},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(tmp.path("s.trk"));
        if (!c.trk.empty()) TempDir::write(tmp.path("s.trk"), c.trk);
        console.track.trackcount = 7;
        host.messageBoxes.clear();
        load(tmp.path("s.QTX"));
        EXPECT_EQ(console.track.trackcount, c.trackcount) << c.what;
        EXPECT_EQ(host.messageBoxes, c.messages) << c.what;
    }
    // An image of one exposure looks for no track list.
    holdImage(1);
    saveAs(tmp.path("one.QTX"));
    console.track.trackcount = 7;
    load(tmp.path("one.QTX"));
    EXPECT_EQ(console.track.trackcount, 1);
    EXPECT_EQ(console.files.currentfile, tmp.path("one.QTX"));
}

}  // namespace
}  // namespace qtx::test

// qtx download and qtx info end to end: the simulated QTX's buffers into files on disk, and
// their headers read back.
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <map>

#include "cli_support.hpp"
#include "model/star_field.hpp"

namespace qtx::test {
namespace {

// Fast enough that a whole Download All takes a few seconds; the line is still paced.
const QString kFastLine = QStringLiteral("2000000");

std::map<QString, QByteArray> filesIn(const QString& path) {
    std::map<QString, QByteArray> files;
    const QDir dir(path);
    for (const QString& name : dir.entryList(QDir::Files)) {
        if (name == "sim.log") continue;
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        files[name] = QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
    }
    return files;
}

// What `qtx info` prints for an image of this buffer: the path, the header lines from the
// first to "End", with the buffer's size among them.
void expectInfo(const std::string& out, const std::string& path, const sim::ImageBuffer& b) {
    const std::size_t at = out.find(path + "\nQTX Compressed Image\n");
    ASSERT_NE(at, std::string::npos) << path;
    const std::size_t end = out.find("\nEnd\n", at);
    ASSERT_NE(end, std::string::npos) << path;
    const std::string block = out.substr(at, end - at);
    EXPECT_NE(block.find("\nHeight =  " + std::to_string(b.header.height) + "\n"),
              std::string::npos)
        << block;
    EXPECT_NE(block.find("\nWidth =  " + std::to_string(b.header.width) + "\n"), std::string::npos)
        << block;
    EXPECT_NE(block.find("\nNumber_exposures =  " + std::to_string(b.header.numexposures) + "\n"),
              std::string::npos)
        << block;
}

TEST(EndToEnd, DownloadAllWritesEveryImageOnceAndInfoReadsThemBack) {
    Sim sim({"--baud", kFastLine});
    ASSERT_TRUE(sim.ok());
    const QString base = sim.dir.filePath("obs.2024/m31");  // cut at the first dot: "obs"
    const Finished first = runQtx({"download", "--port", sim.device, "--all", base}, 60000);
    ASSERT_EQ(first.status, 0) << first.err;

    // Every filled buffer in order, each with the files its kind of image has.
    const auto catalogue = sim::makeCatalogue(1);
    std::map<QString, QByteArray> expected;
    std::vector<std::pair<QString, const sim::ImageBuffer*>> images;
    for (const sim::ImageBuffer& b : catalogue) {
        if (b.empty()) continue;
        const QString name =
            QStringLiteral("obs%1").arg(images.size() + 1, 3, 10, QLatin1Char('0'));
        images.emplace_back(name + ".QTX", &b);
        expected[name + ".QTX"];
        if (b.header.numexposures > 1) expected[name + ".trk"];
        if (b.header.flags & (sim::kFlagMosaic40 | sim::kFlagMosaic6)) expected[name + ".txt"];
    }
    const std::map<QString, QByteArray> written = filesIn(sim.dir.path());
    ASSERT_EQ(written.size(), expected.size());
    for (const auto& [name, hash] : written)
        EXPECT_TRUE(expected.contains(name)) << name.toStdString();
    EXPECT_TRUE(
        first.err.ends_with("\nqtx: " + std::to_string(images.size()) + " images written\n"))
        << first.err;
    // The QTX heard one report an image (from its track list, for a summed image) and one more
    // for each mosaic's data file, and was switched out of remote operation last.
    const auto received = sim.received();
    const auto mosaics = std::count_if(expected.begin(), expected.end(), [](const auto& file) {
        return file.first.endsWith(".txt");
    });
    EXPECT_EQ(std::count(received.begin(), received.end(), "CMD_SAVED"),
              static_cast<std::ptrdiff_t>(images.size()) + mosaics);
    EXPECT_EQ(sim.lastReceived("CMD_REMOTE 0"), "CMD_REMOTE 0");

    QStringList infoArgs{"info"};
    for (const auto& [name, buffer] : images) infoArgs << sim.dir.filePath(name);
    const Finished info = runQtx(infoArgs);
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_EQ(info.err, "");
    for (const auto& [name, buffer] : images) {
        expectInfo(info.out, sim.dir.filePath(name).toStdString(), *buffer);
    }

    // Again into the same place: the first file exists, the run stops there and fails, and
    // nothing on disk changes.
    const Finished again = runQtx({"download", "--port", sim.device, "--all", base}, 60000);
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(
        again.err.find("\n" + sim.dir.filePath("obs001.QTX").toStdString() + " already exists!\n"),
        std::string::npos)
        << again.err;
    EXPECT_EQ(filesIn(sim.dir.path()), written);

    // Files that cannot be read are named with the console's reason; the rest are printed,
    // a summed image whose track list is gone with a warning.
    ASSERT_EQ(images[2].second->header.numexposures, 4);
    const QString summed = sim.dir.filePath("obs003.QTX");
    ASSERT_TRUE(QFile::remove(sim.dir.filePath("obs003.trk")));
    const QString notes = sim.dir.filePath("notes.QTX");
    QFile file(notes);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not an image\r\n");
    file.close();
    // A header that announces more columns than the console holds: its header was read,
    // but the file is refused, and only the refusal is said.
    const QString wide = sim.dir.filePath("wide.QTX");
    QFile wideFile(wide);
    ASSERT_TRUE(QFile::copy(sim.dir.filePath("obs001.QTX"), wide));
    ASSERT_TRUE(wideFile.open(QIODevice::ReadWrite));
    QByteArray head = wideFile.read(2048);
    ASSERT_TRUE(head.contains("Width =  320\n"));
    head.replace("Width =  320\n", "Width =  321\n");
    wideFile.seek(0);
    wideFile.write(head);
    wideFile.close();
    const Finished tooWide = runQtx({"info", wide});
    EXPECT_EQ(tooWide.status, 1);
    EXPECT_EQ(tooWide.err, wide.toStdString() + ": Image is too wide - not QTX Format!\n");
    EXPECT_EQ(tooWide.out, "");

    const QString bitmap = sim.dir.filePath("picture.bmp");
    const QString gone = sim.dir.filePath("gone.QTX");
    const Finished mixed = runQtx({"info", notes, summed, bitmap, gone});
    EXPECT_EQ(mixed.status, 1);
    for (const std::string& line :
         {notes.toStdString() + ": Load file command failed\n",
          summed.toStdString() + ": No track file found for this track and accumulate image!\n",
          bitmap.toStdString() + ": Program cannot read bitmap files\n",
          gone.toStdString() + ": Load file command failed\n"}) {
        EXPECT_NE(mixed.err.find(line), std::string::npos) << line << " in\n" << mixed.err;
    }
    EXPECT_EQ(mixed.out.rfind(summed.toStdString() + "\nQTX Compressed Image\n", 0), 0U)
        << mixed.out;
    EXPECT_EQ(mixed.out.find(notes.toStdString()), std::string::npos);
}

}  // namespace
}  // namespace qtx::test

// qtx convert and qtx flat on saved images: the files they write, and their refusals.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <functional>

#include "cli_host.hpp"
#include "cli_support.hpp"
#include "console.hpp"

namespace qtx::test {
namespace {

using Pixel = std::function<std::uint16_t(int column, int row)>;

// A console of our own, to write the images the commands read and to read what they wrote.
struct Files : cli::HostListener {
    cli::CliHost host{PortMap{}, *this};
    Console console{host};
    Files() { connectConsole(host, console, &host); }
};

QString writeImage(const QString& path, int width, int height, const Pixel& pixel,
                   std::int32_t pedestal = 0) {
    Files files;
    ImageRecord& r = files.console.record;
    r.imagedata.resize(static_cast<std::int16_t>(width), static_cast<std::int16_t>(height));
    for (int row = 1; row <= height; ++row)
        for (int column = 1; column <= width; ++column)
            r.imagedata.at(column, row) = pixel(column, row);
    r.imagewidth = static_cast<std::int16_t>(width);
    r.imageheight = static_cast<std::int16_t>(height);
    r.background = 100;
    r.range = 2000;
    r.numexposures = 1;
    r.pedestal = pedestal;
    files.host.answerFileDialogs(path.toStdString());
    files.console.mnuCompSave_Click();
    EXPECT_TRUE(QFile::exists(path)) << path.toStdString();
    return path;
}

PixelArray readImage(const QString& path) {
    Files files;
    files.host.answerFileDialogs(path.toStdString());
    files.console.mnuload_Click();
    return files.console.record.imagedata;
}

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::uint16_t ramp(int column, int row) { return static_cast<std::uint16_t>(300 + 7 * column + row); }

TEST(Convert, WritesTheBitmapOnceAndNeverOverwritesIt) {
    QTemporaryDir dir;
    const QString image = writeImage(dir.filePath("m31.QTX"), 40, 30, ramp);
    const QString bitmap = dir.filePath("m31.bmp");
    const Finished first = runQtx({"convert", image, bitmap});
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_TRUE(first.err.ends_with("\nqtx: " + bitmap.toStdString() + " written\n")) << first.err;
    const QByteArray written = contents(bitmap);
    ASSERT_EQ(written.size(), 1078 + 320 * 200);
    EXPECT_TRUE(written.startsWith("BM"));

    const Finished again = runQtx({"convert", image, bitmap});
    EXPECT_EQ(again.status, 1);
    EXPECT_TRUE(
        again.err.ends_with("\nBitmap File with same name already exists!\nqtx: no bitmap written\n"))
        << again.err;
    EXPECT_EQ(contents(bitmap), written);

    const Finished missing = runQtx({"convert", dir.filePath("gone.QTX"), dir.filePath("g.bmp")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("\nLoad file command failed\n"), std::string::npos) << missing.err;
    EXPECT_FALSE(QFile::exists(dir.filePath("g.bmp")));
}

TEST(Flat, UniformFlatLeavesTheImageWithItsPedestalAdded) {
    QTemporaryDir dir;
    const QString image = writeImage(dir.filePath("m31.QTX"), 40, 30, ramp, 50);
    const QString flat =
        writeImage(dir.filePath("flat.QTX"), 40, 30, [](int, int) { return 1100; });
    const QString out = dir.filePath("m31-flat.QTX");
    const Finished f = runQtx({"flat", image, flat, out});
    ASSERT_EQ(f.status, 0) << f.err;
    EXPECT_NE(f.err.find("\nDone with flat field correction\n"), std::string::npos) << f.err;
    EXPECT_TRUE(f.err.ends_with(" saved\nqtx: 1 image written\n")) << f.err;
    const PixelArray corrected = readImage(out);
    ASSERT_EQ(corrected.width, 40);
    ASSERT_EQ(corrected.height, 30);
    for (int row = 1; row <= 30; ++row)
        for (int column = 1; column <= 40; ++column)
            ASSERT_EQ(corrected.at(column, row), ramp(column, row) + 50) << column << "," << row;
}

}  // namespace
}  // namespace qtx::test

// qtx convert to .fits and .png: the program chooses by OUT's extension and writes the file.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "cli_support.hpp"
#include "console.hpp"
#include "fake_host.hpp"

namespace qtx::test {
namespace {

TEST(ConvertFormats, FitsAndPngByTheExtensionInAnyCase) {
    QTemporaryDir dir;
    const QString image = dir.filePath("small.QTX");
    {
        FakeHost host;
        Console console(host);
        ImageRecord& r = console.record;
        r.imagedata.resize(40, 30);
        r.imagewidth = 40;
        r.imageheight = 30;
        r.range = 2000;
        r.numexposures = 1;
        host.fileAnswers.push_back(image.toStdString());
        console.mnuCompSave_Click();
    }
    const struct {
        const char* out;
        const char* made;
        QByteArray start;  // the file's first bytes
    } runs[] = {
        {"small.FITS", "small.fits", "SIMPLE  =                    T"},
        // 40 x 30 in the PNG's header chunk
        {"small.png", "small.png",
         QByteArray::fromHex("89504E470D0A1A0A0000000D4948445200000028") +
             QByteArray::fromHex("0000001E")},
    };
    for (const auto& run : runs) {
        SCOPED_TRACE(run.out);
        const Finished f = runQtx({"convert", image, dir.filePath(run.out)});
        EXPECT_EQ(f.status, 0) << f.err;
        const std::string made = dir.filePath(run.made).toStdString();
        EXPECT_TRUE(f.err.ends_with("\nqtx: " + made + " written\n")) << f.err;
        QFile file(dir.filePath(run.made));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_TRUE(file.readAll().startsWith(run.start));
    }
}

}  // namespace
}  // namespace qtx::test

// qtx upload against the simulated QTX: code taken, a QTX that never answers, refused files.
#include <gtest/gtest.h>

#include <QFile>
#include <algorithm>
#include <random>

#include "cli_support.hpp"
#include "console/code_image.hpp"
#include "console/crc16.hpp"
#include "model/firmware.hpp"

namespace qtx::test {
namespace {

const QString kFastLine = QStringLiteral("2000000");
const std::string kUploaded = "\nCode succesfully uploaded - QTX restarting\n";

// A code image the QTX takes: any code, its CRC stored high byte first.
QByteArray goodCode() {
    std::vector<std::uint8_t> image(kCodeBytes);
    std::mt19937 random(7);
    for (auto& b : image) b = static_cast<std::uint8_t>(random());
    const std::uint16_t crc = crc16(std::span(image).first(kCodeChecked));
    image[kCodeBytes - 2] = static_cast<std::uint8_t>(crc >> 8);
    image[kCodeBytes - 1] = static_cast<std::uint8_t>(crc & 0xFF);
    return {reinterpret_cast<const char*>(image.data()), static_cast<qsizetype>(image.size())};
}

QString written(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
}

std::vector<std::string> codeFrames(const std::vector<std::string>& names) {
    std::vector<std::string> code;
    std::copy_if(names.begin(), names.end(), std::back_inserter(code),
                 [](const std::string& n) { return n.starts_with("CMD_CODE_"); });
    return code;
}

TEST(Upload, QtxTakesTheCodeAndIsPutBackUnderRemote) {
    Sim sim({"--baud", kFastLine});
    ASSERT_TRUE(sim.ok());
    const QString file = written(sim.dir.filePath("new.bin"), goodCode());
    const Finished f = runQtx({"upload", "--port", sim.device, file});
    ASSERT_EQ(f.status, 0) << f.err;
    EXPECT_NE(f.err.find(kUploaded), std::string::npos) << f.err;
    EXPECT_TRUE(f.err.ends_with("\nqtx: code uploaded\n")) << f.err;
    // The page being sent is the progress line's business, not a line per frame.
    EXPECT_EQ(f.err.find("PageNumber"), std::string::npos) << f.err;
    EXPECT_NE(f.err.find("Page 192 of 192"), std::string::npos) << f.err;

    EXPECT_EQ(sim.lastReceived("CMD_REMOTE 0"), "CMD_REMOTE 0");
    const auto names = sim.received();
    const auto code = codeFrames(names);
    ASSERT_EQ(code.size(), 194U);
    EXPECT_EQ(code.front(), "CMD_CODE_BEGIN");
    EXPECT_EQ(std::count(code.begin(), code.end(), "CMD_CODE_PAGE"), 192);
    EXPECT_EQ(code.back(), "CMD_CODE_END");
    // After the end frame: back under remote operation, then out of it as the run closes.
    const auto end = std::find(names.begin(), names.end(), "CMD_CODE_END");
    EXPECT_EQ(std::vector<std::string>(end + 1, names.end()),
              (std::vector<std::string>{"CMD_REMOTE 1", "CMD_REMOTE 0"}));
}

TEST(Upload, SilentQtxEndsInCommunicationFailed) {
    Sim sim({"--silent", "--baud", kFastLine});
    ASSERT_TRUE(sim.ok());
    const QString file = written(sim.dir.filePath("new.bin"), goodCode());
    const Finished f = runQtx({"upload", "--port", sim.device, file});
    EXPECT_EQ(f.status, 1);
    EXPECT_TRUE(f.err.ends_with("\nCommunication Failed\n")) << f.err;
    EXPECT_EQ(f.err.find(kUploaded), std::string::npos) << f.err;
    EXPECT_EQ(sim.lastReceived("CMD_REMOTE 0"), "CMD_REMOTE 0");
    const auto code = codeFrames(sim.received());
    EXPECT_GE(code.size(), 2U);  // the begin frame, sent again before giving up
    EXPECT_EQ(std::count(code.begin(), code.end(), "CMD_CODE_BEGIN"),
              static_cast<std::ptrdiff_t>(code.size()));
}

}  // namespace
}  // namespace qtx::test

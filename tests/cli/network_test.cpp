// qtx through a real ser2net in front of qtx-sim's pseudo-terminal, as at a remote telescope.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "programs.hpp"
#include "ser2net.hpp"

namespace qtx::test {
namespace {

// Every file of the folder, by name, with its bytes.
std::map<QString, QByteArray> contents(const QString& folder) {
    std::map<QString, QByteArray> files;
    for (const QString& name : QDir(folder).entryList(QDir::Files)) {
        QFile file(folder + u'/' + name);
        file.open(QIODevice::ReadOnly);
        files[name] = file.readAll();
    }
    return files;
}

// Download All through either kind of port is byte-exact; ser2net stopped in the middle of one
// ends the run with the reason and leaves no file.
TEST(Ser2netPrograms, ByteExactThroughEitherKindAndServerStoppedMidTransfer) {
    Sim sim({"--baud", "2000000"});
    ASSERT_FALSE(sim.device.isEmpty());
    Ser2net ser2net(sim.device);
    ASSERT_TRUE(ser2net.start()) << "ser2net (scripts/setup.sh installs it)";
    std::map<QString, QByteArray> direct;
    for (const QString& port : {sim.device, ser2net.rfc2217(), ser2net.raw()}) {
        SCOPED_TRACE(port.toStdString());
        QTemporaryDir tmp;
        Program qtx(QTX_PROGRAM, {"download", "--port", port, "--all", tmp.filePath("m31")});
        EXPECT_EQ(qtx.wait(), 0) << qtx.err;
        const auto files = contents(tmp.path());
        if (direct.empty()) {
            direct = files;
            EXPECT_GT(direct.size(), 10u);
        } else {
            EXPECT_TRUE(files == direct);
        }
    }
    QTemporaryDir tmp;
    Program qtx(QTX_PROGRAM,
                {"download", "--port", ser2net.rfc2217(), "--all", tmp.filePath("m31")});
    ASSERT_TRUE(qtx.await("image 1 of "));
    ser2net.stop();
    EXPECT_EQ(qtx.wait(5000), 1);
    EXPECT_TRUE(
        qtx.err.ends_with("COM1 (" + ser2net.rfc2217().toStdString() + ") was disconnected.\n"))
        << qtx.err;
    EXPECT_TRUE(contents(tmp.path()).empty());
}

}  // namespace
}  // namespace qtx::test

// qtx --log over a real port: the shell hands the log every byte both ways, rows that come
// in many reads are whole lines, and an existing log stops the run before the QTX hears
// anything.
#include <gtest/gtest.h>

#include <QFile>
#include <algorithm>

#include "cli_support.hpp"

namespace qtx::test {
namespace {

// The code names of a log's lines in one direction, as Sim::received() gives them.
std::vector<std::string> names(const QString& path, const char* arrow) {
    QFile log(path);
    std::vector<std::string> out;
    if (!log.open(QIODevice::ReadOnly)) return out;
    for (const QByteArray& line : log.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() <= 3 || fields[1] != arrow) continue;
        out.push_back(fields[2].toStdString());
        if (out.back() == "CMD_REMOTE") out.back() += fields[9] == "00" ? " 0" : " 1";
    }
    return out;
}

TEST(TrafficLog, HoldsEveryFrameBothWaysAndIsNeverWrittenOver) {
    Sim sim({"--baud", "2000000"});
    ASSERT_TRUE(sim.ok());
    const QString log = sim.dir.filePath("port.log");
    const Finished f =
        runQtx({"download", "--port", sim.device, "--log", log, sim.dir.filePath("m31")});
    ASSERT_EQ(f.status, 0) << f.err;
    EXPECT_EQ(sim.lastReceived("CMD_REMOTE 0"), "CMD_REMOTE 0");
    EXPECT_EQ(names(log, "->"), sim.received());
    const auto in = names(log, "<-");
    // The rows come through the pty in pieces; each is one line all the same.
    EXPECT_EQ(std::count(in.begin(), in.end(), "MSG_ROW") +
                  std::count(in.begin(), in.end(), "MSG_ROW_RAW"),
              200);
    EXPECT_EQ(std::count_if(in.begin(), in.end(), [](const auto& n) { return n[0] == '('; }), 0);

    const auto before = QFile(log).size();
    const Finished again =
        runQtx({"download", "--port", sim.device, "--log", log, sim.dir.filePath("m32")});
    EXPECT_EQ(again.status, 1);
    EXPECT_EQ(again.err,
              "qtx: the log " + log.toStdString() + " already exists; it is never written over\n");
    EXPECT_EQ(QFile(log).size(), before);
    EXPECT_EQ(sim.received().size(), names(log, "->").size()) << "the QTX heard nothing";
}

}  // namespace
}  // namespace qtx::test

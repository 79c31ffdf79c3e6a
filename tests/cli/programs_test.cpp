// The qtx program against the qtx-sim program, each in a process of its own, the simulator
// on a pseudo-terminal with a log of every frame both ways: each command's exit status, last
// words and files, and what the QTX heard last. What the console does inside a run is the
// core suites'.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <map>
#include <string>
#include <vector>

#include "../sim/sim_support.hpp"
#include "console.hpp"
#include "fake_host.hpp"
#include "model/star_field.hpp"

namespace qtx::test {
namespace {

struct Finished {
    int status = -1;  // exit status; -1 when it did not end by itself in time
    std::string out, err;
};

// qtx with the given arguments, running until wait() or destruction.
class Qtx {
  public:
    explicit Qtx(const QStringList& args) {
        process.start(QStringLiteral(QTX_PROGRAM), args);
        process.waitForStarted();
    }
    ~Qtx() {
        process.kill();
        process.waitForFinished();
    }
    // Waits until its standard error holds `text`; false when it does not come in time.
    bool awaitError(const std::string& text) {
        QElapsedTimer clock;
        clock.start();
        while (err.find(text) == std::string::npos) {
            if (clock.elapsed() > 10000 || process.state() == QProcess::NotRunning) return false;
            process.waitForReadyRead(50);
            err += process.readAllStandardError().toStdString();
        }
        return true;
    }
    // True once it has ended, waiting at most waitMs for that.
    bool finished(int waitMs) {
        return process.state() == QProcess::NotRunning || process.waitForFinished(waitMs);
    }
    void signal(int number) { ::kill(static_cast<pid_t>(process.processId()), number); }
    Finished wait(int timeoutMs = 60000) {
        Finished f;
        if (finished(timeoutMs) && process.exitStatus() == QProcess::NormalExit)
            f.status = process.exitCode();
        f.out = process.readAllStandardOutput().toStdString();
        f.err = err + process.readAllStandardError().toStdString();
        return f;
    }

  private:
    QProcess process;
    std::string err;
};

// The code names of the frames a log holds one way ("->" or "<-"), in order ("CMD_REMOTE 0"
// for remote off).
inline std::vector<std::string> logNames(const QString& path, const char* arrow) {
    std::vector<std::string> names;
    QFile log(path);
    if (!log.open(QIODevice::ReadOnly)) return names;
    for (const QByteArray& line : log.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() <= 3 || fields[1] != arrow) continue;
        names.push_back(fields[2].toStdString());
        if (names.back() == "CMD_REMOTE")
            names.back() += fields.size() > 9 && fields[9] == "00" ? " 0" : " 1";
    }
    return names;
}

// qtx-sim with the given arguments and a log; stops when destroyed.
class Sim {
  public:
    explicit Sim(QStringList args) {
        process.start(QStringLiteral(QTX_SIM_PROGRAM),
                      args << "--log" << dir.filePath("sim.log") << "--exit-with-parent");
        QElapsedTimer clock;
        clock.start();
        while (!process.canReadLine() && clock.elapsed() < 5000) process.waitForReadyRead(50);
        device = QString::fromLocal8Bit(process.readLine()).trimmed();
    }
    ~Sim() {
        process.terminate();
        if (!process.waitForFinished(3000)) kill();
    }
    bool ok() const { return !device.isEmpty(); }
    void kill() {
        process.kill();
        process.waitForFinished();
    }
    std::vector<std::string> received() const { return logNames(dir.filePath("sim.log"), "<-"); }
    // The last of them, once it is the one wanted or the time is up (the simulator logs a
    // moment later).
    std::string lastReceived(const std::string& wanted) const {
        QElapsedTimer clock;
        clock.start();
        for (;; QThread::msleep(20)) {
            const auto names = received();
            const std::string last = names.empty() ? std::string{} : names.back();
            if (last == wanted || clock.elapsed() > 3000) return last;
        }
    }

    QTemporaryDir dir;
    QString device;

  private:
    QProcess process;
};

// An image file as the console saves it: w x h of 300 + 7 x + y.
void writeImage(const QString& path, int w, int h, std::int16_t exposures = 1) {
    FakeHost host;
    Console console(host);
    ImageRecord& r = console.record;
    r.imagedata.resize(static_cast<std::int16_t>(w), static_cast<std::int16_t>(h));
    for (int y = 1; y <= h; ++y)
        for (int x = 1; x <= w; ++x)
            r.imagedata.at(x, y) = static_cast<std::uint16_t>(300 + 7 * x + y);
    r.imagewidth = static_cast<std::int16_t>(w);
    r.imageheight = static_cast<std::int16_t>(h);
    r.range = 2000;
    r.numexposures = exposures;
    host.fileAnswers.push_back(path.toStdString());
    console.mnuCompSave_Click();
}

std::map<QString, QByteArray> filesIn(const QDir& dir) {
    std::map<QString, QByteArray> files;
    for (const QString& name : dir.entryList(QDir::Files)) {
        QFile f(dir.filePath(name));
        if (f.open(QIODevice::ReadOnly))
            files[name] = QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
    }
    return files;
}

TEST(Programs, ExitStatusLastWordsAndFilesOfEveryCommand) {
    QTemporaryDir tmp;
    const QDir dir(tmp.path());
    writeImage(dir.filePath("small.QTX"), 40, 30);
    writeImage(dir.filePath("flat.QTX"), 40, 30);
    writeImage(dir.filePath("summed.QTX"), 40, 30, 3);
    ASSERT_TRUE(QFile::remove(dir.filePath("summed.trk")));
    const auto put = [&](const char* name, const QByteArray& bytes) {
        QFile file(dir.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    };
    put("notes.QTX", "not an image\r\n");
    const auto code = sim::test::goodCodeImage(7);
    put("new.bin", QByteArray(reinterpret_cast<const char*>(code.data()), code.size()));
    // A header that announces more columns than the console holds.
    QFile small(dir.filePath("small.QTX"));
    ASSERT_TRUE(small.open(QIODevice::ReadOnly));
    put("wide.QTX", small.readAll().replace("Width =  40\n", "Width =  321\n"));
    // The images a Download All brings: every filled buffer, with the files of its kind.
    std::map<QString, QByteArray> downloaded;
    int n = 0;
    for (const sim::ImageBuffer& b : sim::makeCatalogue(1)) {
        if (b.empty()) continue;
        const QString name = QStringLiteral("obs%1").arg(++n, 3, 10, QLatin1Char('0'));
        downloaded[name + ".QTX"];
        if (b.header.numexposures > 1) downloaded[name + ".trk"];
        if (b.header.flags & (sim::kFlagMosaic40 | sim::kFlagMosaic6)) downloaded[name + ".txt"];
    }
    // DEV is the simulator's device, DIR/ the test's folder.
    const auto fill = [&](std::string text) {
        for (std::size_t at; (at = text.find("DIR/")) != std::string::npos;)
            text.replace(at, 4, dir.path().toStdString() + "/");
        return text;
    };
    const std::string images = "\nqtx: " + std::to_string(n) + " images written\n";
    const struct {
        const char* sim;  // "": none; "fast" or "silent" (on a fast line)
        const char* args;
        int status;
        std::string err;        // what standard error holds, in pieces split at "|"
        const char* made = "";  // a file the run leaves
        bool onlyErr = false;   // nothing else on standard error
        QByteArray start = {};  // the first bytes of the file made
    } runs[] = {
        {"fast", "download --port DEV --all DIR/obs.2024/m31", 0, images, "DIR/obs001.QTX"},
        {"fast", "download --port DEV --all DIR/obs", 1, "\nDIR/obs001.QTX already exists!\n"},
        {"fast", "download --port DEV --log DIR/port.log DIR/m31", 0, "\nqtx: 1 image written\n",
         "DIR/m31.QTX"},
        // An existing log stops the run before the QTX hears anything.
        {"fast", "download --port DEV --log DIR/port.log DIR/m32", 1,
         "qtx: the log DIR/port.log already exists; it is never written over\n", "", true},
        {"silent", "download --port DEV DIR/m31", 1, "\nCommunication Failed\n"},
        {"fast", "upload --port DEV DIR/new.bin", 0,
         "\nCode succesfully uploaded - QTX restarting\n|\nqtx: code uploaded\n"},
        {"silent", "upload --port DEV DIR/new.bin", 1, "\nCommunication Failed\n"},
        {"", "info DIR/obs001.QTX DIR/small.QTX", 0, "", "", true},
        {"", "info DIR/notes.QTX DIR/gone.QTX DIR/picture.bmp", 1,
         "DIR/notes.QTX: Load file command failed\n|DIR/gone.QTX: Load file command failed\n|"
         "DIR/picture.bmp: Program cannot read bitmap files\n"},
        {"", "info DIR/summed.QTX", 0,
         "DIR/summed.QTX: No track file found for this track and accumulate image!\n"},
        {"", "info DIR/wide.QTX", 1, "DIR/wide.QTX: Image is too wide - not QTX Format!\n", "",
         true},
        {"", "convert DIR/small.QTX DIR/small.bmp", 0, "\nqtx: DIR/small.bmp written\n",
         "DIR/small.bmp"},
        // The format follows OUT's extension, in any case; a PNG's header chunk names 40 x 30.
        {"", "convert DIR/small.QTX DIR/small.FITS", 0, "\nqtx: DIR/small.fits written\n",
         "DIR/small.fits", false, "SIMPLE  =                    T"},
        {"", "convert DIR/small.QTX DIR/small.png", 0, "\nqtx: DIR/small.png written\n",
         "DIR/small.png", false,
         QByteArray::fromHex("89504E470D0A1A0A0000000D49484452000000280000001E")},
        {"", "convert DIR/obs001.QTX DIR/small.bmp", 1,
         "\nBitmap File with same name already exists!\nqtx: no bitmap written\n"},
        {"", "convert DIR/gone.QTX DIR/gone.bmp", 1, "\nLoad file command failed\n"},
        {"", "flat DIR/small.QTX DIR/flat.QTX DIR/small-flat.QTX", 0,
         "\nDone with flat field correction\n| saved\nqtx: 1 image written\n",
         "DIR/small-flat.QTX"},
    };
    for (const auto& r : runs) {
        SCOPED_TRACE(r.args);
        std::unique_ptr<Sim> sim;
        QStringList args = QString::fromStdString(fill(r.args)).split(u' ');
        if (*r.sim != '\0') {
            // Fast enough that a whole Download All takes a few seconds; the line is still paced.
            sim = std::make_unique<Sim>(QStringList{"--baud", "2000000"} +
                                        (*r.sim == 's' ? QStringList{"--silent"} : QStringList{}));
            ASSERT_TRUE(sim->ok());
            args.replaceInStrings(QRegularExpression("^DEV$"), sim->device);
        }
        const auto before = filesIn(dir);
        const Finished f = Qtx(args).wait();
        EXPECT_EQ(f.status, r.status) << f.err;
        for (const QString& part :
             QString::fromStdString(fill(r.err)).split(u'|', Qt::SkipEmptyParts)) {
            EXPECT_NE(f.err.find(part.toStdString()), std::string::npos)
                << part.toStdString() << " in\n"
                << f.err;
        }
        if (r.onlyErr) {
            EXPECT_EQ(f.err, fill(r.err));
            if (r.status != 0) {
                EXPECT_EQ(f.out, "");
            }
        }
        // A run that fails leaves everything as it was; the QTX is told it is no longer remote.
        if (r.status != 0) {
            EXPECT_EQ(filesIn(dir), before);
        }
        if (*r.made != '\0') {
            QFile made(QString::fromStdString(fill(r.made)));
            ASSERT_TRUE(made.open(QIODevice::ReadOnly)) << r.made;
            EXPECT_TRUE(made.readAll().startsWith(r.start)) << r.made;
        }
        if (sim) {
            EXPECT_EQ(sim->lastReceived("CMD_REMOTE 0"), r.onlyErr ? "" : "CMD_REMOTE 0");
        }
        if (args[0] == "info" && r.status == 0) {  // each file's path, then its header lines
            for (qsizetype k = 1; k < args.size(); ++k) {
                const std::string heading = args[k].toStdString() + "\nQTX Compressed Image\n";
                EXPECT_NE(f.out.find(heading), std::string::npos) << f.out;
            }
            EXPECT_EQ(f.out.rfind(args[1].toStdString(), 0), 0U);
        }
        if (args[0] == "upload" && r.status == 0) {
            // The progress line tells the pages, not a line per frame; after the end frame the
            // QTX is put back under remote operation, then out of it as the run closes.
            EXPECT_EQ(f.err.find("PageNumber"), std::string::npos);
            const auto names = sim->received();
            const auto end = std::find(names.begin(), names.end(), "CMD_CODE_END");
            ASSERT_NE(end, names.end());
            EXPECT_EQ(std::vector<std::string>(end + 1, names.end()),
                      (std::vector<std::string>{"CMD_REMOTE 1", "CMD_REMOTE 0"}));
        }
        if (args.contains("--all") && r.status == 0) {  // every image with the files of its kind
            std::map<QString, QByteArray> obs;
            for (const auto& [name, hash] : filesIn(dir)) {
                if (name.startsWith("obs")) obs[name];
            }
            EXPECT_EQ(obs, downloaded);
        }
        if (args.contains("--log") && r.status == 0) {
            // Every frame both ways; the rows come through the pty in pieces, each one line.
            const QString log = dir.filePath("port.log");
            EXPECT_EQ(logNames(log, "->"), sim->received());
            const auto in = logNames(log, "<-");
            EXPECT_EQ(std::count_if(in.begin(), in.end(),
                                    [](const auto& n) { return n.starts_with("MSG_ROW"); }),
                      200);
            EXPECT_EQ(
                std::count_if(in.begin(), in.end(), [](const auto& n) { return n[0] == '('; }), 0);
        }
    }
}

// A run ended from outside: by a signal (the QTX is switched out of remote operation first)
// or by the device going away.
TEST(Programs, RunsEndedFromOutside) {
    const struct {
        int signal;  // 0: the simulator is killed
        int status;
        const char* err;
    } cases[] = {{SIGINT, 128 + SIGINT, "\nqtx: interrupted\n"}, {0, 1, ") was disconnected.\n"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.signal);
        // At the real line speed, so that the transfer is under way when the end comes.
        Sim sim({"--baud", "115200"});
        ASSERT_TRUE(sim.ok());
        Qtx qtx({"download", "--port", sim.device, "--all", sim.dir.filePath("m31")});
        ASSERT_TRUE(qtx.awaitError("image 1 of "));
        if (c.signal != 0) {
            qtx.signal(c.signal);
        } else {
            sim.kill();
        }
        const Finished f = qtx.wait(5000);
        EXPECT_EQ(f.status, c.status);
        EXPECT_TRUE(f.err.ends_with(c.err)) << f.err;
        if (c.signal != 0) {
            EXPECT_EQ(sim.lastReceived("CMD_REMOTE 0"), "CMD_REMOTE 0");
        }
    }
}

// Bytes that never make a frame do not keep a silent run open.
TEST(Programs, LineOfNoiseDoesNotKeepTheRunOpen) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
    termios raw{};
    ::tcgetattr(master, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(master, TCSANOW, &raw);
    Qtx qtx({"download", "--port", ::ptsname(master), "--all", "--timeout", "1", "m31"});
    const std::string noise(64, '\x5A');
    char drain[256];
    QElapsedTimer clock;
    clock.start();
    while (!qtx.finished(20) && clock.elapsed() < 10000) {
        ASSERT_EQ(::write(master, noise.data(), noise.size()), static_cast<ssize_t>(noise.size()));
        while (::read(master, drain, sizeof drain) > 0) {
        }
    }
    const Finished f = qtx.wait();
    ::close(master);
    EXPECT_EQ(f.status, 1);
    EXPECT_TRUE(f.err.ends_with("qtx: no answer from the QTX for 1 s\n")) << f.err;
}

}  // namespace
}  // namespace qtx::test

// The suites run programs with QProcess and need a QCoreApplication.
int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

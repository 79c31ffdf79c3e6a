// qtx against qtx-sim on a pseudo-terminal, each a process of its own: every command's exit
// status, last words and files. What the console does inside a run is the core suites'.
#include "programs.hpp"

#include <gtest/gtest.h>
#include <signal.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include "../sim/sim_support.hpp"
#include "temp_dir.hpp"

namespace qtx::test {
namespace {

TEST(Programs, ExitStatusLastWordsAndFilesOfEveryCommand) {
    QTemporaryDir tmp;
    const auto files = [&] { return QDir(tmp.path()).entryList(QDir::Files); };
    const auto code = sim::test::goodCodeImage(7);
    TempDir::write(tmp.filePath("new.bin").toStdString(), std::string(code.begin(), code.end()));
    int images = 0;  // a Download All brings every filled buffer
    for (const sim::ImageBuffer& b : sim::makeCatalogue(1)) images += !b.empty();
    // DEV is the simulator's device, DIR/ the test's folder.
    const auto fill = [&](std::string text) {
        for (std::size_t at; (at = text.find("DIR/")) != std::string::npos;)
            text.replace(at, 4, tmp.path().toStdString() + "/");
        return QString::fromStdString(text);
    };
    // obs001 is buffer 0, a full frame; 002 a 200 x 100 window; 003 summed; 004 a mosaic.
    const struct {
        const char* sim;  // "": none; "fast" or "silent" (on a fast line)
        const char* args;
        int status;
        std::string err;        // what standard error holds, in pieces split at "|"
        const char* made = "";  // files the run leaves, split at "|"
        bool onlyErr = false;   // nothing else on standard error
        QByteArray start = {};  // the first bytes of the files made
        const char* out = "";   // what standard output holds, in pieces split at "|"
    } runs[] = {
        {"fast", "download --port DEV --all DIR/obs.2024", 0,
         "\nqtx: " + std::to_string(images) + " images written\n",
         "DIR/obs001.QTX|DIR/obs003.trk|DIR/obs004.txt"},
        {"fast", "download --port DEV --all DIR/obs", 1, "\nDIR/obs001.QTX already exists!\n"},
        // The transfer starts as soon as the link is up, well within the second.
        {"fast", "download --port DEV --timeout 1 --log DIR/port.log DIR/m31", 0,
         "\nqtx: 1 image written\n", "DIR/m31.QTX|DIR/port.log"},
        // An existing log stops the run before the QTX hears anything.
        {"fast", "download --port DEV --log DIR/port.log DIR/m32", 1,
         "qtx: the log DIR/port.log already exists; it is never written over\n", "", true},
        {"silent", "download --port DEV DIR/m31", 1, "Communication Failed\n", "", true},
        {"fast", "upload --port DEV DIR/new.bin", 0,
         "\nCode succesfully uploaded - QTX restarting\n|\nqtx: code uploaded\n"},
        {"", "info DIR/obs001.QTX DIR/obs002.QTX", 0, "", "", true},
        {"", "info DIR/gone.QTX DIR/picture.bmp", 1,
         "DIR/gone.QTX: Load file command failed\n|DIR/picture.bmp: Program cannot read bitmap "
         "files\n"},
        // The track list of a summed image has gone: a warning, not a failure.
        {"", "info DIR/obs003.QTX", 0,
         "DIR/obs003.QTX: No track file found for this track and accumulate image!\n"},
        {"", "convert DIR/obs002.QTX DIR/small.bmp", 0, "\nqtx: DIR/small.bmp written\n",
         "DIR/small.bmp", false, "BM"},
        // The format follows OUT's extension, in any case; a PNG's header chunk names 200 x 100.
        {"", "convert DIR/obs002.QTX DIR/small.PNG", 0, "\nqtx: DIR/small.png written\n",
         "DIR/small.png", false,
         QByteArray::fromHex("89504E470D0A1A0A0000000D49484452000000C800000064")},
        {"", "convert DIR/obs001.QTX DIR/small.bmp", 1,
         "\nBitmap File with same name already exists!\nqtx: no bitmap written\n"},
        // Several files at once: each beside its source; one failure fails the run and is named.
        {"", "convert --to fits DIR/obs001.QTX DIR/obs002.QTX", 0,
         "qtx: DIR/obs001.fits written\n|qtx: DIR/obs002.fits written\n|qtx: all 2 files converted",
         "DIR/obs001.fits|DIR/obs002.fits", false, "SIMPLE  ="},
        {"", "convert --to fits --out DIR/ DIR/gone.QTX DIR/obs002.QTX", 1,
         "qtx: DIR/gone.QTX not converted\n|qtx: DIR/obs002.QTX not converted\n|qtx: 2 of 2 "
         "files not converted\n"},
        {"",
         "stars --csv DIR/obs002.QTX",
         0,
         "",
         "",
         false,
         {},
         "file,x,y,peak,background,flux,fwhm_px,hfr_px,snr,fwhm_arcsec\nDIR/obs002.QTX,"},
        {"",
         "stars DIR/obs001.QTX DIR/gone.QTX",
         1,
         "qtx: DIR/gone.QTX: no image read\n",
         "",
         false,
         {},
         "DIR/obs001.QTX\n       x       y   peak|  edge\n| stars, median FWHM "},
        {"",
         "track DIR/obs007.QTX",
         0,
         "",
         "",
         false,
         {},
         "exposure     x     y\n       1     0     0\n|\nRMS x "},
        {"", "track DIR/obs001.QTX", 1, "not a summed image: no track offsets\n"},
        {"", "flat DIR/obs002.QTX DIR/obs002.QTX DIR/flat.QTX", 0,
         "\nDone with flat field correction\n| saved\nqtx: 1 image written\n", "DIR/flat.QTX"},
        // Every input and the output are checked before the correction runs.
        {"", "flat DIR/obs002.QTX DIR/gone.QTX DIR/flat2", 1,
         "qtx: DIR/gone.QTX: No such file or directory\nqtx: no image written\n", "", true},
        {"", "flat DIR/obs002.QTX DIR/obs002.QTX DIR/flat", 1,
         "qtx: DIR/flat.QTX already exists; it is never written over\nqtx: no image written\n", "",
         true},
    };
    for (const auto& r : runs) {
        SCOPED_TRACE(r.args);
        std::unique_ptr<Sim> sim;
        if (*r.sim != '\0') {
            // Fast enough that a whole Download All takes a few seconds; the line is still paced.
            sim = std::make_unique<Sim>(QStringList{"--baud", "2000000"} +
                                        (*r.sim == 's' ? QStringList{"--silent"} : QStringList{}));
            ASSERT_FALSE(sim->device.isEmpty());
        }
        QStringList args = fill(r.args).split(u' ');
        std::replace(args.begin(), args.end(), QStringLiteral("DEV"), sim ? sim->device : "");
        const QStringList before = files();
        Program f(QTX_PROGRAM, args);
        EXPECT_EQ(f.wait(), r.status) << f.err;
        for (const QString& part : fill(r.err).split(u'|', Qt::SkipEmptyParts))
            EXPECT_NE(f.err.find(part.toStdString()), std::string::npos) << part.toStdString();
        for (const QString& part : fill(r.out).split(u'|', Qt::SkipEmptyParts))
            EXPECT_NE(f.out.find(part.toStdString()), std::string::npos) << f.out;
        EXPECT_TRUE(!r.onlyErr || f.err == fill(r.err).toStdString()) << f.err;
        EXPECT_TRUE(r.status == 0 || files() == before);  // a failed run leaves all as it was
        for (const QString& path : fill(r.made).split(u'|', Qt::SkipEmptyParts)) {
            QFile made(path);
            ASSERT_TRUE(made.open(QIODevice::ReadOnly)) << path.toStdString();
            EXPECT_TRUE(made.readAll().startsWith(r.start)) << path.toStdString();
        }
        if (args.contains("--all") && r.status == 0) QFile::remove(tmp.filePath("obs003.trk"));
        for (qsizetype k = 1; args[0] == "info" && r.status == 0 && k < args.size(); ++k) {
            const std::string heading = args[k].toStdString() + "\nQTX Compressed Image\n";
            EXPECT_EQ(f.out.find(heading), k == 1 ? 0 : f.out.find("\n\n" + heading) + 2);
        }
    }
}

// What each program accepts and refuses on its command line: a usage error is one line on
// standard error and the exit status 2, help and version go to standard output with 0; a
// command line accepted runs (here against a device that does not exist: 1).
TEST(Programs, CommandLinesAcceptedAndRefused) {
    QTemporaryDir tmp;
    const std::string none = tmp.filePath("none").toStdString();
    const struct {
        const char* program;
        std::string args;  // split at blanks; '' is an empty argument
        int status;
        std::string said;  // on standard output or error
    } cases[] = {
        {QTX_PROGRAM, "", 2, "qtx: no command given\n"},
        {QTX_PROGRAM, "fetch x", 2, "qtx: unknown command 'fetch'\n"},
        {QTX_PROGRAM, "--verbose download", 2, "qtx: unknown option '--verbose'\n"},
        {QTX_PROGRAM, "--help", 0, "\n  ports "},
        {QTX_PROGRAM, "-V", 0, "qtx 1."},
        {QTX_PROGRAM, "download x --bogus --help", 0, "Usage: qtx download [OPTIONS] PATH\n"},
        {QTX_PROGRAM, "download --port=" + none + " --baud 19200 --all --timeout=1 -- -m", 1,
         none + ": no such device"},
        {QTX_PROGRAM, "upload --port " + none + " --baud=38400 --log " + none + ".log x.bin", 1,
         none + ": no such device"},
        {QTX_PROGRAM, "download m31", 2, "qtx: --port is required\n"},
        {QTX_PROGRAM, "download --port a", 2, "qtx: PATH is required\n"},
        {QTX_PROGRAM, "download --port a ''", 2, "qtx: PATH: must not be empty\n"},
        {QTX_PROGRAM, "download --port '' x", 2, "qtx: --port: must not be empty\n"},
        {QTX_PROGRAM, "download --port a --baud 9600 x", 2,
         "qtx: --baud: one of 19200, 38400, 57600 and 115200, not '9600'\n"},
        {QTX_PROGRAM, "download --port a --timeout 0 x", 2, "qtx: --timeout: a whole number"},
        {QTX_PROGRAM, "download --port a --all --all x", 2, "qtx: --all: "},
        {QTX_PROGRAM, "download --port a --all=yes x", 2, "qtx: all "},
        {QTX_PROGRAM, "info --log x a.QTX", 2, "--log\nUsage: qtx info"},
        {QTX_PROGRAM, "convert a.QTX night.bmp/m31", 2, "qtx: OUT: convert writes"},
        {QTX_PROGRAM, "convert a.QTX", 2, "qtx: OUT: is required (or --to KIND)\n"},
        {QTX_PROGRAM, "convert a.QTX b.QTX c.png", 2, "qtx: OUT: one only: several files need"},
        {QTX_PROGRAM, "convert --out d a.QTX b.png", 2, "qtx: --out: needs --to\n"},
        {QTX_PROGRAM, "convert --to gif a.QTX", 2, "qtx: --to: one of bmp, fits and png, not"},
        {QTX_SIM_PROGRAM, "--help", 0, "\n  --request-corrupt-frames LIST\n"},
        {QTX_SIM_PROGRAM, "--baud 10", 2, "qtx-sim: --baud: at least 50, not '10'\n"},
        {QTX_SIM_PROGRAM, "--stop-bits 3", 2, "qtx-sim: --stop-bits: 1 or 2, not '3'\n"},
        {QTX_SIM_PROGRAM, "--drop 1.5", 2, "qtx-sim: --drop: a fraction from 0 to 1"},
        {QTX_SIM_PROGRAM, "--delay 0.1", 2, "qtx-sim: --delay: F:MS, for example 0.1:300\n"},
        {QTX_SIM_PROGRAM, "--pause 0.1:x", 2, "qtx-sim: --pause: a whole number up to 600000"},
        {QTX_SIM_PROGRAM, "--drop-frames 3-2", 2, "qtx-sim: --drop-frames: frame numbers from 1"},
        {QTX_SIM_PROGRAM, "--corrupt-where top", 2, "qtx-sim: --corrupt-where: header, payload"},
        {QTX_SIM_PROGRAM, "--log " + tmp.filePath("no/such.log").toStdString(), 2,
         "qtx-sim: cannot open the log "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        QStringList args = QString::fromStdString(c.args).split(u' ', Qt::SkipEmptyParts);
        std::replace(args.begin(), args.end(), QStringLiteral("''"), QString());
        Program p(c.program, args);
        EXPECT_EQ(p.wait(), c.status);
        EXPECT_NE((c.status == 0 ? p.out : p.err).find(c.said), std::string::npos)
            << p.out << p.err;
        // A usage error names the problem on its first line and how to get help on its last.
        EXPECT_TRUE(c.status != 2 || p.err.ends_with(" --help'.\n")) << p.err;
    }
    // Every option of the simulator at once; an option given again wins.
    Sim sim(QStringLiteral(
                "--baud 9600 --baud=115200 --stop-bits 1 --holdback 16 --seed 2 --fault-seed 3 "
                "--drop 0 --corrupt 0.5 --corrupt-where payload --delay 0.1:300 --drop-frames "
                "2,5,9-12 --corrupt-frames 7 --garbage 0 --pause 0:10 --request-drop 0 "
                "--request-corrupt 0 --request-garbage 0 --request-drop-frames 1 "
                "--request-corrupt-frames 3-4 --flash-offer --link-request --silent --log -")
                .split(u' '));
    EXPECT_FALSE(sim.device.isEmpty());
    EXPECT_TRUE(sim.await("at 115200 baud\n")) << sim.err;
}

// A run ended from outside: by a signal (the QTX is switched out of remote operation first)
// or by the device going away.
TEST(Programs, RunsEndedFromOutside) {
    for (const int signal : {SIGINT, 0}) {  // 0: the simulator is killed
        Sim sim({"--baud", "115200"});      // the real speed: the transfer is under way at the end
        QTemporaryDir tmp;
        Program qtx(QTX_PROGRAM, {"download", "--port", sim.device, "--all", tmp.filePath("m31")});
        ASSERT_TRUE(qtx.await("image 1 of "));
        signal ? (void)::kill(static_cast<pid_t>(qtx.process.processId()), signal)
               : sim.process.kill();
        EXPECT_EQ(qtx.wait(5000), signal ? 128 + signal : 1);
        EXPECT_TRUE(qtx.err.ends_with(signal ? "\nqtx: interrupted\n" : ") was disconnected.\n"))
            << qtx.err;
    }
}

// In a pipe that closes early the job still ends as it should: the image saved, the QTX out
// of remote operation, exit 0. A run started right after one killed in mid-transfer waits out
// the earlier image and fetches only its own.
TEST(Programs, SurvivesAClosedPipeAndAKilledRun) {
    QTemporaryDir tmp;
    Sim sim({"--baud", "2000000", "--log", tmp.filePath("sim.log")});
    const QString a = tmp.filePath("a");
    Program piped("/bin/bash", {"-c",
                                "\"$0\" download --port \"$1\" \"$2\" 2>&1 | head -1; "
                                "exit ${PIPESTATUS[0]}",
                                QTX_PROGRAM, sim.device, a});
    EXPECT_EQ(piped.wait(), 0) << piped.out;
    EXPECT_TRUE(QFile::exists(a + ".QTX"));
    QFile log(tmp.filePath("sim.log"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_TRUE(log.readAll().contains("CMD_REMOTE         a5 09 02 00 b0 00 00 00 00 00"));

    Program killed(QTX_PROGRAM, {"download", "--port", sim.device, "--all", tmp.filePath("k")});
    ASSERT_TRUE(killed.await("Link Established"));
    killed.process.kill();
    killed.wait();
    QStringList before = QDir(tmp.path()).entryList(QDir::Files);
    Program next(QTX_PROGRAM, {"download", "--port", sim.device, tmp.filePath("b")});
    EXPECT_EQ(next.wait(), 0) << next.err;
    EXPECT_EQ(next.err.find("did not understand"), std::string::npos) << next.err;
    before << "b.QTX";
    before.sort();
    EXPECT_EQ(QDir(tmp.path()).entryList(QDir::Files), before);
}

}  // namespace
}  // namespace qtx::test

// The suites run programs with QProcess and need a QCoreApplication.
int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

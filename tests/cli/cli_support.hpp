// Running qtx and the simulated QTX (qtx-sim) as the programs they are, each in a process
// of its own, the simulator on a pseudo-terminal with a log of every frame both ways.
#pragma once

#include <signal.h>

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <string>
#include <vector>

namespace qtx::test {

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
        if (process.state() == QProcess::NotRunning) return;
        process.kill();
        process.waitForFinished();
    }
    // Waits until its standard error holds `text`; false when it does not come in time.
    bool awaitError(const std::string& text, int timeoutMs = 10000) {
        QElapsedTimer clock;
        clock.start();
        while (err.find(text) == std::string::npos) {
            if (clock.elapsed() > timeoutMs || process.state() == QProcess::NotRunning)
                return false;
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
    Finished wait(int timeoutMs = 20000) {
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

inline Finished runQtx(const QStringList& args, int timeoutMs = 20000) {
    return Qtx(args).wait(timeoutMs);
}

// qtx-sim with the given arguments and a log; stops when destroyed.
class Sim {
  public:
    explicit Sim(QStringList args) {
        logPath = dir.filePath(QStringLiteral("sim.log"));
        process.start(QStringLiteral(QTX_SIM_PROGRAM),
                      args << "--log" << logPath << "--exit-with-parent");
        if (!process.waitForStarted()) return;
        QElapsedTimer clock;
        clock.start();
        while (!process.canReadLine() && clock.elapsed() < 5000) process.waitForReadyRead(50);
        device = QString::fromLocal8Bit(process.readLine()).trimmed();
    }
    ~Sim() {
        if (process.state() == QProcess::NotRunning) return;
        process.terminate();
        if (!process.waitForFinished(3000)) kill();
    }
    bool ok() const { return !device.isEmpty(); }
    void kill() {
        process.kill();
        process.waitForFinished();
    }
    // The code names of the frames the simulator received, in order ("CMD_REMOTE 0" for
    // remote off).
    std::vector<std::string> received() const {
        std::vector<std::string> names;
        QFile log(logPath);
        if (!log.open(QIODevice::ReadOnly)) return names;
        for (const QByteArray& line : log.readAll().split('\n')) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() <= 3 || fields[1] != "<-") continue;
            names.push_back(fields[2].toStdString());
            if (names.back() == "CMD_REMOTE")
                names.back() += fields.size() > 9 && fields[9] == "00" ? " 0" : " 1";
        }
        return names;
    }
    // The last of them, once it is the one wanted or the time is up (the simulator logs a
    // moment later).
    std::string lastReceived(const std::string& wanted, int timeoutMs = 3000) const {
        QElapsedTimer clock;
        clock.start();
        for (;; QThread::msleep(20)) {
            const auto names = received();
            const std::string last = names.empty() ? std::string{} : names.back();
            if (last == wanted || clock.elapsed() > timeoutMs) return last;
        }
    }

    QTemporaryDir dir;
    QString device;

  private:
    QProcess process;
    QString logPath;
};

}  // namespace qtx::test

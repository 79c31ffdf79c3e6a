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

}  // namespace qtx::test

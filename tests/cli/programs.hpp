// qtx and qtx-sim as processes of their own, for the suites that run the programs.
#pragma once

#include <QElapsedTimer>
#include <QProcess>
#include <string>

namespace qtx::test {

// A program with the given arguments, killed if it still runs when destroyed.
struct Program {
    Program(const char* path, const QStringList& args) {
        process.start(QString::fromLocal8Bit(path), args);
        process.waitForStarted();
    }
    ~Program() {
        process.kill();
        process.waitForFinished();
    }
    // Waits until standard output or error holds `text`; false when it does not come in time.
    bool await(const std::string& text) {
        QElapsedTimer clock;
        clock.start();
        while (out.find(text) == std::string::npos && err.find(text) == std::string::npos) {
            if (clock.elapsed() > 10000 || process.state() == QProcess::NotRunning) return false;
            process.waitForReadyRead(50);
            out += process.readAllStandardOutput().toStdString();
            err += process.readAllStandardError().toStdString();
        }
        return true;
    }
    // The exit status; -1 when it did not end by itself in time.
    int wait(int timeoutMs = 60000) {
        const bool ended =
            process.waitForFinished(timeoutMs) || process.state() == QProcess::NotRunning;
        out += process.readAllStandardOutput().toStdString();
        err += process.readAllStandardError().toStdString();
        return ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    QProcess process;
    std::string out, err;
};

// qtx-sim at the given speed; the device it serves is the first line of its output.
struct Sim : Program {
    explicit Sim(QStringList args) : Program(QTX_SIM_PROGRAM, args << "--exit-with-parent") {
        device = await("\n") ? QString::fromStdString(out.substr(0, out.find('\n'))) : "";
    }
    QString device;
};

}  // namespace qtx::test

// The half of a Host that needs no window: the serial port (with the detection of a device
// that went away), the watchdog and one-shot timers, and the end of the program. The window
// shell and the command line derive from it and add the texts, dialogs and picture.
#pragma once

#include <QObject>
#include <QSerialPort>
#include <QTimer>

#include "host.hpp"
#include "serial_settings.hpp"

namespace qtx {

class Console;

class ShellHost : public QObject, public Host {
    Q_OBJECT
  public:
    // What the texts about the device advise; each shell has its own ways.
    struct Advice {
        QString deviceOption;  // the option that names a device ("--com1/--com2")
        QString whenBack;      // what to do when a lost device is back ("" for nothing)
    };
    ShellHost(PortMap ports, Advice advice, QObject* parent = nullptr);

    // Must be called before the console runs: bytes, ticks and a lost device go to it.
    void attach(Console& console) { core = &console; }

    bool openPort(int portNumber, const std::string& settings) override;
    void closePort() override;
    std::string portFailureDetail() override;
    void applySettings(const std::string& settings) override;
    void write(std::span<const std::uint8_t> bytes) override;
    std::vector<std::uint8_t> readAll() override;

    void startTimer(int intervalMs) override;
    void stopTimer() override;
    void startOneShot(int intervalMs) override;
    void stopOneShot() override;

    void endProgram() override;

    const QSerialPort& serialPort() const { return port; }
    const QTimer& watchdogTimer() const { return entrytimer; }

  signals:
    // The port was closed because its device went away; the console has been told.
    void portLost();

  private:
    void onReadyRead();
    void onPortError(QSerialPort::SerialPortError error);
    void scheduleLossCheck();
    void checkForLoss();
    bool hungUp() const;

    PortMap ports;
    Advice advice;
    Console* core = nullptr;

    QSerialPort port;  // `MSComm1`
    QTimer entrytimer;
    QTimer oneShot;
    SerialSettings remembered;
    int openPortNumber = 0;
    QString openDevice;
    QString failureDetail;
    bool lossCheckQueued = false;
    int troubleSinceData = 0;  // errors and empty receive events since bytes last came in
};

}  // namespace qtx

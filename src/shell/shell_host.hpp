// The half of a Host that needs no window: the serial port (with the detection of a device
// that went away) or a network port (rfc2217:// or tcp://, a ser2net), the watchdog and
// one-shot timers, and the end of the program. The window
// shell and the command line derive from it and add the texts, dialogs and picture.
//
// Calls go one way: the host knows nothing of the console. What happens at the port and the
// timers leaves as signals, which the owner of both connects to the console
// (connectConsole does it for every shell).
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QSerialPort>
#include <QTimer>

#include "host.hpp"
#include "link/traffic_log.hpp"
#include "network_port.hpp"
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
    // The shells that decide from what happened override it.
    void report(const Event&) override {}

    // From now on every byte written and read goes to `log` too, timed from this call; the
    // caller keeps the log for as long as the host lives (nullptr: no log).
    void setTrafficLog(TrafficLog* log);

    // The device behind COM`portNumber` from its next opening on (the port chooser).
    void setDevice(int portNumber, const QString& device);
    const PortMap& portMap() const { return ports; }

    // Whether a port is open, of whichever kind.
    bool portIsOpen() const { return port.isOpen() || network.isOpen(); }
    // The local serial port (closed while a network port is in use).
    const QSerialPort& serialPort() const { return port; }
    const QTimer& watchdogTimer() const { return entrytimer; }

  signals:
    // The port has something to read (Console::onSerialEvent).
    void serialEvent(qtx::SerialEvent kind);
    // The watchdog `entrytimer` ticked (Console::watchdogTick).
    void watchdogFired();
    // The one-shot timer ran out (Console::oneShotElapsed).
    void oneShotFired();
    // The device behind COM`portNumber` went away and the port has been closed; `whenBack`
    // is this shell's advice for when it is back, "" for none (Console::portLost).
    void deviceLost(int portNumber, const QString& device, const QString& whenBack);

  private:
    bool openNetworkPort(int portNumber, const QString& device);
    void onReadyRead();
    void onPortError(QSerialPort::SerialPortError error);
    void scheduleLossCheck();
    void checkForLoss();
    bool hungUp() const;
    double logSeconds() const;
    void logLineClosed();
    void logFailed();

    PortMap ports;
    Advice advice;

    QSerialPort port;  // `MSComm1`
    NetworkPort network;
    QTimer entrytimer;
    QTimer oneShot;
    // While a network port opens, events run: the timers' ticks wait until it has.
    bool opening = false;
    bool oneShotHeld = false;
    SerialSettings remembered;
    int openPortNumber = 0;
    QString openDevice;
    QString failureDetail;
    bool lossCheckQueued = false;
    int troubleSinceData = 0;  // errors and empty receive events since bytes last came in
    TrafficLog* trafficLog = nullptr;
    QElapsedTimer logClock;
};

// Connects the host's signals to the console's procedures, for as long as `context` lives.
void connectConsole(ShellHost& host, Console& console, const QObject* context);

}  // namespace qtx

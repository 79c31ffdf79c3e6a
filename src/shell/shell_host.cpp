// QSerialPort or a network port behind the console's port operations, the detection of a
// device that went away (a USB adapter pulled out, a pseudo-terminal whose other end closed,
// a server gone), and the timers.
#include "shell_host.hpp"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <utility>

#include "console.hpp"
#include "low_latency.hpp"
#include "port_facts.hpp"

#ifdef Q_OS_UNIX
#include <poll.h>
#include <unistd.h>
#endif

namespace qtx {

namespace {

// Errors or empty receive events in a row, without a byte arriving, after which the device
// is taken for gone even when the descriptor does not say so; each of them means Qt was
// woken for nothing, so a gone device would otherwise keep the processor busy.
constexpr int kTroubleLimit = 50;

// A written request normally leaves at once; this bounds the wait for the last one (the
// switch out of remote operation) before the port closes.
constexpr int kDrainMs = 500;

void apply(QSerialPort& port, const SerialSettings& settings) {
    port.setBaudRate(settings.baudRate);
    port.setParity(settings.parity);
    port.setDataBits(settings.dataBits);
    port.setStopBits(settings.stopBits);
    port.setFlowControl(QSerialPort::NoFlowControl);
}

#ifdef Q_OS_UNIX
// The node that QSerialPort opens for a device name: a bare name ("ttyUSB0") is one in /dev.
std::string nodePath(const QString& device) {
    QString path = device;
    if (path.startsWith(u'.')) path = QFileInfo(path).absoluteFilePath();
    if (!path.startsWith(u'/')) path.prepend(QStringLiteral("/dev/"));
    return QFile::encodeName(path).toStdString();
}
#endif

}  // namespace

ShellHost::ShellHost(PortMap ports, Advice advice, QObject* parent)
    : QObject(parent), ports(std::move(ports)), advice(std::move(advice)) {
    // Children of the host, so that they can be found under their names in the window.
    port.setParent(this);
    entrytimer.setParent(this);
    port.setObjectName(QStringLiteral("MSComm1"));
    entrytimer.setObjectName(QStringLiteral("entrytimer"));
    port.setReadBufferSize(0);  // the console takes every waiting byte on each event
    connect(&port, &QSerialPort::readyRead, this, &ShellHost::onReadyRead);
    connect(&port, &QSerialPort::errorOccurred, this, &ShellHost::onPortError);
    // A tick while a network port opens is left out, as a late one would be.
    connect(&entrytimer, &QTimer::timeout, this, [this] {
        if (!opening) emit watchdogFired();
    });
    oneShot.setParent(this);
    oneShot.setSingleShot(true);
    connect(&oneShot, &QTimer::timeout, this, [this] {
        oneShotHeld = opening;
        if (!opening) emit oneShotFired();
    });
    network.setParent(this);
    connect(&network, &NetworkPort::readyRead, this,
            [this] { emit serialEvent(SerialEvent::DataReceived); });
    connect(&network, &NetworkPort::lost, this, [this] {
        logLineClosed();
        emit deviceLost(openPortNumber, openDevice, this->advice.whenBack);
    });
}

bool ShellHost::openPort(int portNumber, const std::string& settings) {
    failureDetail.clear();
    if (port.isOpen()) port.close();
    network.close(0);
    const QString device = ports.device(portNumber);
    if (device.isEmpty()) {
        failureDetail =
            QStringLiteral("COM%1: no device is assigned to this port.").arg(portNumber);
        return false;
    }
    if (const auto parsed = parseSerialSettings(settings)) remembered = *parsed;
    if (isNetworkName(device.toStdString())) return openNetworkPort(portNumber, device);
    port.setPortName(device);
    apply(port, remembered);
    if (!port.open(QIODevice::ReadWrite)) {
        OpenFailure failure;
        failure.device = device;
        failure.error = port.error();
        failure.systemText = port.errorString();
#ifdef Q_OS_UNIX
        const QByteArray path = QFile::encodeName(device);
        failure.exists = QFileInfo::exists(device);
        failure.accessible = ::access(path.constData(), R_OK | W_OK) == 0;
#else
        // Windows names no file; "access denied" there means another program holds it.
        failure.exists = true;
        failure.accessible = true;
#endif
        failure.deviceOption = advice.deviceOption;
        failureDetail = describeOpenFailure(failure);
#ifdef Q_OS_UNIX
        // The machine may know better: the group, the program holding it, a daemon.
        const std::string known =
            openFailureAdvice(gatherPortFacts(nodePath(device), thisSystem()));
        if (!known.empty()) failureDetail = QString::fromLocal8Bit(known);
#endif
        port.clearError();
        return false;
    }
#ifdef Q_OS_LINUX
    // Replies then come at once rather than when a USB packet fills; a device without the
    // mode (a pseudo-terminal) is left as it is.
    requestLowLatency(static_cast<int>(port.handle()), systemSerialDriver());
#endif
    openPortNumber = portNumber;
    openDevice = device;
    troubleSinceData = 0;
    return true;
}

bool ShellHost::openNetworkPort(int portNumber, const QString& device) {
    const auto address = parseNetworkName(device.toStdString());
    if (!address) {
        failureDetail = device + QStringLiteral(": ") +
                        QString::fromStdString(describeFailure(NetworkFailure::BadName, {}));
        return false;
    }
    opening = true;
    const bool opened = network.open(*address, remembered);
    opening = false;
    if (std::exchange(oneShotHeld, false)) oneShot.start(0);
    if (!opened) {
        if (!network.failure().isEmpty())
            failureDetail = device + QStringLiteral(": ") + network.failure();
        return false;
    }
    openPortNumber = portNumber;
    openDevice = device;
    return true;
}

void ShellHost::setDevice(int portNumber, const QString& device) {
    if (portNumber == 1) ports.com1 = device;
    if (portNumber == 2) ports.com2 = device;
}

void ShellHost::closePort() {
    if (network.isOpen()) {
        network.close(kDrainMs);
        logLineClosed();
        return;
    }
    if (!port.isOpen()) return;
    if (port.bytesToWrite() > 0) port.waitForBytesWritten(kDrainMs);
    port.close();
    port.clearError();
    logLineClosed();
}

std::string ShellHost::portFailureDetail() { return failureDetail.toLatin1().toStdString(); }

void ShellHost::applySettings(const std::string& settings) {
    const auto parsed = parseSerialSettings(settings);
    if (!parsed) return;
    remembered = *parsed;
    // An open port takes them at once; a closed one keeps them for its next opening.
    apply(port, remembered);
    network.applySettings(remembered);
}

void ShellHost::write(std::span<const std::uint8_t> bytes) {
    if (network.isOpen() && !bytes.empty()) {
        network.write(bytes);
        if (trafficLog && !trafficLog->sent(logSeconds(), bytes)) logFailed();
        return;
    }
    if (!port.isOpen() || bytes.empty()) return;
    // QSerialPort keeps what the device cannot take yet and writes it from the event loop;
    // handing it to the device now saves the request a pass of the loop (painting included),
    // which on a row-by-row transfer is time the line stands idle.
    const qint64 taken =
        port.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    port.flush();
    if (trafficLog && taken > 0 &&
        !trafficLog->sent(logSeconds(), bytes.first(static_cast<std::size_t>(taken)))) {
        logFailed();
    }
}

std::vector<std::uint8_t> ShellHost::readAll() {
    std::vector<std::uint8_t> bytes;
    if (network.isOpen()) {
        bytes = network.readAll();
    } else if (port.isOpen()) {
        const QByteArray data = port.readAll();
        bytes.assign(reinterpret_cast<const std::uint8_t*>(data.constData()),
                     reinterpret_cast<const std::uint8_t*>(data.constData()) + data.size());
    } else {
        return {};
    }
    if (trafficLog && !trafficLog->received(logSeconds(), bytes)) logFailed();
    return bytes;
}

void ShellHost::onReadyRead() {
    if (port.bytesAvailable() > 0) {
        troubleSinceData = 0;
    } else if (++troubleSinceData >= 3) {
        // Receive events without data are what a hung-up descriptor gives.
        scheduleLossCheck();
    }
    emit serialEvent(SerialEvent::DataReceived);
}

void ShellHost::onPortError(QSerialPort::SerialPortError error) {
    if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError) return;
    if (!port.isOpen()) return;
    ++troubleSinceData;
    // Closing the port inside its own error signal has crashed Qt: look again from the
    // event loop.
    scheduleLossCheck();
}

void ShellHost::scheduleLossCheck() {
    if (lossCheckQueued) return;
    lossCheckQueued = true;
    QTimer::singleShot(0, this, &ShellHost::checkForLoss);
}

bool ShellHost::hungUp() const {
    if (port.error() == QSerialPort::ResourceError) return true;
    if (troubleSinceData >= kTroubleLimit) return true;
#ifdef Q_OS_UNIX
    pollfd fd{static_cast<int>(port.handle()), POLLIN, 0};
    if (fd.fd < 0) return true;
    if (::poll(&fd, 1, 0) > 0 && (fd.revents & (POLLHUP | POLLERR | POLLNVAL))) return true;
#endif
    return false;
}

void ShellHost::checkForLoss() {
    lossCheckQueued = false;
    if (!port.isOpen()) return;
    if (!hungUp()) {
        port.clearError();
        return;
    }
    port.close();
    port.clearError();
    logLineClosed();
    troubleSinceData = 0;
    emit deviceLost(openPortNumber, openDevice, advice.whenBack);
}

void ShellHost::startTimer(int intervalMs) { entrytimer.start(intervalMs); }

void ShellHost::stopTimer() { entrytimer.stop(); }

void ShellHost::startOneShot(int intervalMs) { oneShot.start(intervalMs); }

void ShellHost::stopOneShot() { oneShot.stop(); }

void ShellHost::endProgram() { QCoreApplication::quit(); }

void ShellHost::setTrafficLog(TrafficLog* log) {
    trafficLog = log;
    logClock.start();
}

double ShellHost::logSeconds() const { return static_cast<double>(logClock.nsecsElapsed()) / 1e9; }

void ShellHost::logLineClosed() {
    if (trafficLog) trafficLog->lineClosed(logSeconds());
}

void ShellHost::logFailed() {
    // Said once, where the program's own complaints go; the console goes on without it.
    std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()),
                 trafficLog->failure().c_str());
}

void connectConsole(ShellHost& host, Console& console, const QObject* context) {
    QObject::connect(&host, &ShellHost::serialEvent, context,
                     [&console](SerialEvent kind) { console.onSerialEvent(kind); });
    QObject::connect(&host, &ShellHost::watchdogFired, context,
                     [&console] { console.watchdogTick(); });
    QObject::connect(&host, &ShellHost::oneShotFired, context,
                     [&console] { console.oneShotElapsed(); });
    QObject::connect(&host, &ShellHost::deviceLost, context,
                     [&console](int portNumber, const QString& device, const QString& whenBack) {
                         // Texts cross into the core one byte a character, as they always did.
                         console.portLost(portNumber, device.toLatin1().toStdString(),
                                          whenBack.toLatin1().toStdString());
                     });
}

}  // namespace qtx

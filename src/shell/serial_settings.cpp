#include "serial_settings.hpp"

#include <QStringList>

namespace qtx {

std::optional<SerialSettings> parseSerialSettings(std::string_view text) {
    const QStringList fields =
        QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())).split(u',');
    if (fields.size() != 4) return std::nullopt;

    SerialSettings settings;
    bool ok = false;
    const qint64 speed = fields[0].trimmed().toLongLong(&ok);
    if (!ok || speed <= 0 || speed > 0x7FFFFFFF) return std::nullopt;
    settings.baudRate = static_cast<qint32>(speed);

    const QString parity = fields[1].trimmed().toUpper();
    if (parity == u"N") {
        settings.parity = QSerialPort::NoParity;
    } else if (parity == u"E") {
        settings.parity = QSerialPort::EvenParity;
    } else if (parity == u"O") {
        settings.parity = QSerialPort::OddParity;
    } else if (parity == u"M") {
        settings.parity = QSerialPort::MarkParity;
    } else if (parity == u"S") {
        settings.parity = QSerialPort::SpaceParity;
    } else {
        return std::nullopt;
    }

    const int dataBits = fields[2].trimmed().toInt(&ok);
    if (!ok || dataBits < 5 || dataBits > 8) return std::nullopt;
    settings.dataBits = static_cast<QSerialPort::DataBits>(dataBits);

    const QString stop = fields[3].trimmed();
    if (stop == u"1") {
        settings.stopBits = QSerialPort::OneStop;
    } else if (stop == u"1.5") {
        settings.stopBits = QSerialPort::OneAndHalfStop;
    } else if (stop == u"2") {
        settings.stopBits = QSerialPort::TwoStop;
    } else {
        return std::nullopt;
    }
    return settings;
}

PortMap PortMap::platformDefault() {
#ifdef Q_OS_WIN
    return {QStringLiteral("COM1"), QStringLiteral("COM2")};
#else
    return {QStringLiteral("/dev/ttyS0"), QStringLiteral("/dev/ttyS1")};
#endif
}

QString PortMap::device(int portNumber) const {
    switch (portNumber) {
        case 1:
            return com1;
        case 2:
            return com2;
        default:
            return {};
    }
}

QString describeOpenFailure(const OpenFailure& failure) {
    const QString& device = failure.device;
    if (failure.error == QSerialPort::DeviceNotFoundError || !failure.exists) {
        return QStringLiteral(
                   "%1: no such device; check the cable or adapter, or name the "
                   "right device with %2.")
            .arg(device, failure.deviceOption);
    }
    if (!failure.accessible) {
        return QStringLiteral(
                   "%1: no permission; join the dialout group "
                   "(sudo usermod -aG dialout $USER), then log out and in again.")
            .arg(device);
    }
    // QSerialPort reports a port held by another program (lock file, exclusive mode) as a
    // permission error although this user may open the device.
    if (failure.error == QSerialPort::PermissionError) {
        return QStringLiteral(
                   "%1: busy, in use by another program; close that program and "
                   "choose Establish Link.")
            .arg(device);
    }
    return QStringLiteral("%1: could not be opened (%2).").arg(device, failure.systemText);
}

}  // namespace qtx

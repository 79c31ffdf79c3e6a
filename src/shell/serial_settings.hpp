// The serial port's settings string ("115200,N,8,2": speed, parity, data bits, stop bits)
// and the device a port number stands for.
#pragma once

#include <QSerialPort>
#include <QString>
#include <optional>
#include <string_view>

namespace qtx {

struct SerialSettings {
    qint32 baudRate = 115200;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::TwoStop;
    friend bool operator==(const SerialSettings&, const SerialSettings&) = default;
};

// Nothing when the text is not four comma-separated fields: a positive speed, a parity
// letter N, E, O, M or S (either case), 5 to 8 data bits and 1, 1.5 or 2 stop bits.
// Blanks around a field are allowed.
std::optional<SerialSettings> parseSerialSettings(std::string_view text);

// COM1 and COM2 are the names the console uses; these are the devices behind them.
struct PortMap {
    QString com1;
    QString com2;
    static PortMap platformDefault();
    QString device(int portNumber) const;  // empty for a number other than 1 or 2
};

// Why a device could not be opened, as one line a user can act on. The facts are passed in
// so that every case can be checked without the hardware.
struct OpenFailure {
    QString device;
    bool exists = false;      // the path names something
    bool accessible = false;  // read and write access is granted to this user
    QSerialPort::SerialPortError error = QSerialPort::NoError;
    QString systemText;                                      // the port's own error text
    QString deviceOption = QStringLiteral("--com1/--com2");  // how the user names the device
};
QString describeOpenFailure(const OpenFailure& failure);

}  // namespace qtx

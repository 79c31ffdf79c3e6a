#include "serial_settings.hpp"

#include <gtest/gtest.h>

namespace qtx::test {
namespace {

TEST(SerialSettingsTest, ParsesTheSettingsString) {
    using P = QSerialPort;
    const struct {
        const char* text;
        std::optional<SerialSettings> expected;
    } cases[] = {
        {"115200,N,8,2", SerialSettings{115200, P::NoParity, P::Data8, P::TwoStop}},
        {"19200,N,8,1", SerialSettings{19200, P::NoParity, P::Data8, P::OneStop}},
        {"9600,e,7,1.5", SerialSettings{9600, P::EvenParity, P::Data7, P::OneAndHalfStop}},
        {" 300 , O , 5 , 2 ", SerialSettings{300, P::OddParity, P::Data5, P::TwoStop}},
        {"1200,M,6,1", SerialSettings{1200, P::MarkParity, P::Data6, P::OneStop}},
        {"2400,S,8,1", SerialSettings{2400, P::SpaceParity, P::Data8, P::OneStop}},
        {"", std::nullopt},
        {"115200,N,8", std::nullopt},
        {"115200,N,8,2,1", std::nullopt},
        {"0,N,8,2", std::nullopt},
        {"-9600,N,8,2", std::nullopt},
        {"99999999999,N,8,2", std::nullopt},
        {"fast,N,8,2", std::nullopt},
        {"115200,X,8,2", std::nullopt},
        {"115200,N,9,2", std::nullopt},
        {"115200,N,4,2", std::nullopt},
        {"115200,N,8,3", std::nullopt},
        {"115200,,8,2", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(parseSerialSettings(c.text), c.expected);
    }
}

TEST(SerialSettingsTest, OpenFailureSaysWhatToDo) {
    const QString dev = QStringLiteral("/dev/ttyUSB0");
    const struct {
        OpenFailure failure;
        const char* expected;
    } cases[] = {
        {{dev, false, false, QSerialPort::DeviceNotFoundError, "No such file or directory"},
         "/dev/ttyUSB0: no such device; check the cable or adapter, or name the right device "
         "with --com1/--com2."},
        {{dev, true, false, QSerialPort::PermissionError, "Permission denied"},
         "/dev/ttyUSB0: no permission; join the dialout group (sudo usermod -aG dialout $USER), "
         "then log out and in again."},
        {{dev, true, true, QSerialPort::PermissionError, "Permission denied"},
         "/dev/ttyUSB0: busy, in use by another program; close that program and choose "
         "Establish Link."},
        {{dev, true, true, QSerialPort::OpenError, "Input/output error"},
         "/dev/ttyUSB0: could not be opened (Input/output error)."},
    };
    for (const auto& c : cases) EXPECT_EQ(describeOpenFailure(c.failure).toStdString(), c.expected);
}

}  // namespace
}  // namespace qtx::test

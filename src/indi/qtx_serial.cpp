#include "qtx_serial.hpp"

#include <libindi/defaultdevice.h>
#include <libindi/indicom.h>
#include <libindi/indilogger.h>
#include <libindi/indistandardproperty.h>

#include <cstring>
#include <string>

namespace qtx::indi {

namespace {

constexpr const char* kSpeeds[] = {"19200", "38400", "57600", "115200"};
constexpr int kSpeedCount = 4;

bool offered(const char* name) {
    for (const char* speed : kSpeeds) {
        if (std::strcmp(speed, name) == 0) return true;
    }
    return false;
}

}  // namespace

QtxSerial::QtxSerial(INDI::DefaultDevice* device) : Connection::Serial(device) {
    for (int i = 0; i < kSpeedCount; ++i) {
        IUFillSwitch(&BaudRateS[i], kSpeeds[i], kSpeeds[i],
                     i == kSpeedCount - 1 ? ISS_ON : ISS_OFF);
    }
    IUFillSwitchVector(&BaudRateSP, BaudRateS, kSpeedCount, device->getDeviceName(),
                       INDI::SP::DEVICE_BAUD_RATE, "Baud Rate", CONNECTION_TAB, IP_RW, ISR_1OFMANY,
                       60, IPS_IDLE);
}

void QtxSerial::Activated() {
    Connection::Serial::Activated();
    // Trying other ports would put the QTX's requests on devices that are not the QTX: the
    // search is off and not offered.
    m_Device->deleteProperty(AutoSearchSP.name);
    AutoSearchS[INDI::DefaultDevice::INDI_ENABLED].s = ISS_OFF;
    AutoSearchS[INDI::DefaultDevice::INDI_DISABLED].s = ISS_ON;
}

bool QtxSerial::refusesSpeed(const char* name, ISState* states, char* names[], int n) {
    if (std::strcmp(name, BaudRateSP.name) != 0) return false;
    std::string wrong;
    int chosen = 0;
    for (int i = 0; i < n; ++i) {
        if (states[i] != ISS_ON) continue;
        ++chosen;
        if (!offered(names[i])) wrong = names[i];
    }
    if (chosen == 1 && wrong.empty()) return false;
    const std::string text = (wrong.empty() ? std::string("Choose one speed")
                                            : "The QTX has no speed of " + wrong + " baud") +
                             "; it runs at 19200, 38400, 57600 or 115200.";
    BaudRateSP.s = IPS_ALERT;
    IDSetSwitch(&BaudRateSP, "%s", text.c_str());
    return true;
}

bool QtxSerial::saveConfigItems(FILE* fp) {
    IUSaveConfigText(fp, &PortTP);
    IUSaveConfigSwitch(fp, &BaudRateSP);
    return true;
}

}  // namespace qtx::indi

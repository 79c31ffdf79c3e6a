#include "port_choice.hpp"

#include "network_port.hpp"

namespace qtx {

namespace {

QString key(int portNumber) { return QStringLiteral("ports/com%1").arg(portNumber); }

const QString kNetworkKey = QStringLiteral("ports/network");

}  // namespace

PortMap rememberedPorts(const QSettings& settings, PortMap defaults) {
    defaults.com1 = settings.value(key(1), defaults.com1).toString();
    defaults.com2 = settings.value(key(2), defaults.com2).toString();
    return defaults;
}

void rememberPort(QSettings& settings, int portNumber, const QString& device) {
    settings.setValue(key(portNumber), device);
    if (isNetworkName(device.toStdString())) settings.setValue(kNetworkKey, device);
    settings.sync();
}

QString rememberedNetworkPort(const QSettings& settings) {
    return settings.value(kNetworkKey).toString();
}

}  // namespace qtx

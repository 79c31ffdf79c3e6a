// The devices chosen for COM1 and COM2 in the port chooser, kept between runs. They stand in
// for the platform's defaults; --com1 and --com2 still win over them.
#pragma once

#include <QSettings>

#include "serial_settings.hpp"

namespace qtx {

// `defaults` with each remembered device in place of its port's.
PortMap rememberedPorts(const QSettings& settings, PortMap defaults = PortMap::platformDefault());

// A network port is also kept apart, to be offered again after another port took its place.
void rememberPort(QSettings& settings, int portNumber, const QString& device);

// The network port chosen last ("" for none).
QString rememberedNetworkPort(const QSettings& settings);

}  // namespace qtx

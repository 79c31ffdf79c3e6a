// The command line of qtx-console.
#pragma once

#include <QCommandLineParser>
#include <QString>

#include "serial_settings.hpp"

namespace qtx {

struct Options {
    PortMap ports = PortMap::platformDefault();
    QString log;                  // the traffic log to create ("" for none)
    QString screenshot;           // save a picture of the window there and quit
    int screenshotDelayMs = 300;  // after running this long
};

void addOptions(QCommandLineParser& parser);
// --com1 and --com2 name the devices over those of `ports`.
Options readOptions(const QCommandLineParser& parser, PortMap ports = PortMap::platformDefault());

}  // namespace qtx

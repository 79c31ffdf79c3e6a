#include "options.hpp"

#include <QCommandLineOption>
#include <algorithm>

namespace qtx {

namespace {

const QString kCom1 = QStringLiteral("com1");
const QString kCom2 = QStringLiteral("com2");
const QString kLog = QStringLiteral("log");
const QString kScreenshot = QStringLiteral("screenshot");
const QString kScreenshotDelay = QStringLiteral("screenshot-delay");

}  // namespace

void addOptions(QCommandLineParser& parser) {
    const PortMap defaults = PortMap::platformDefault();
    parser.setApplicationDescription(
        QStringLiteral("Remote console for the QTX camera and autoguider on a serial line."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption({kCom1,
                      QStringLiteral("Device used as COM1 (default %1), e.g. /dev/ttyUSB0 "
                                     "for a USB adapter, the path printed by qtx-sim, or a "
                                     "ser2net's port as rfc2217://HOST:PORT or tcp://HOST:PORT.")
                          .arg(defaults.com1),
                      QStringLiteral("PATH")});
    parser.addOption({kCom2, QStringLiteral("Device used as COM2 (default %1).").arg(defaults.com2),
                      QStringLiteral("PATH")});
    parser.addOption({kLog,
                      QStringLiteral("Write every frame to and from the QTX to FILE, a new file: "
                                     "time, direction, code name and bytes in hex."),
                      QStringLiteral("FILE")});
    QCommandLineOption screenshot(kScreenshot,
                                  QStringLiteral("Save a picture of the window and quit."),
                                  QStringLiteral("FILE"));
    screenshot.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(screenshot);
    QCommandLineOption delay(kScreenshotDelay,
                             QStringLiteral("Milliseconds to run before the picture is taken."),
                             QStringLiteral("MS"), QStringLiteral("300"));
    delay.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(delay);
}

Options readOptions(const QCommandLineParser& parser, PortMap ports) {
    Options options;
    options.ports = std::move(ports);
    if (parser.isSet(kCom1)) options.ports.com1 = parser.value(kCom1);
    if (parser.isSet(kCom2)) options.ports.com2 = parser.value(kCom2);
    options.log = parser.value(kLog);
    options.screenshot = parser.value(kScreenshot);
    options.screenshotDelayMs = std::max(0, parser.value(kScreenshotDelay).toInt());
    return options;
}

}  // namespace qtx

#include "status_panel.hpp"

#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QStyle>
#include <QTime>

namespace qtx {

namespace {

// How long a port may stay silent before the status bar says what to check.
constexpr qint64 kWaitHintMs = 5000;

QString fromBytes(const std::string& text) { return QString::fromLocal8Bit(text); }

QString kindName(FileKind kind) {
    switch (kind) {
        case FileKind::Image:
            return QStringLiteral("Image");
        case FileKind::TrackList:
            return QStringLiteral("Track list");
        case FileKind::MosaicData:
            return QStringLiteral("Mosaic data");
        case FileKind::Bitmap:
            return QStringLiteral("Bitmap");
        case FileKind::Fits:
            return QStringLiteral("FITS");
        case FileKind::Png:
            return QStringLiteral("PNG");
    }
    return QStringLiteral("File");
}

QString images(int count) {
    return QString::number(count) +
           (count == 1 ? QStringLiteral(" image") : QStringLiteral(" images"));
}

// "night/m31001.QTX ... m31014.QTX": the first file in full, the last by its name only.
QString fileRange(const QStringList& files) {
    if (files.isEmpty()) return {};
    if (files.size() == 1) return files.front();
    return files.front() + QStringLiteral(" ... ") + QFileInfo(files.back()).fileName();
}

}  // namespace

StatusPanel::StatusPanel(QStatusBar* bar, QPlainTextEdit* display, QPlainTextEdit* history,
                         QObject* parent)
    : QObject(parent), display(display), history(history) {
    const auto field = [bar](const char* name) {
        auto* label = new QLabel(bar);
        label->setObjectName(QString::fromLatin1(name));
        label->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        label->setContentsMargins(4, 0, 4, 0);
        bar->addWidget(label);
        return label;
    };
    portLabel = field("statusPort");
    linkLabel = field("statusLink");
    answerLabel = field("statusAnswer");
    zoomLabel = field("statusZoom");
    history->setMaximumBlockCount(5000);
    connect(&ageTicker, &QTimer::timeout, this, &StatusPanel::showAnswerAge);
    ageTicker.start(1000);
    showPort();
    setState(LinkState::NotLinked);
}

void StatusPanel::note(const QString& text) {
    history->appendPlainText(QTime::currentTime().toString(QStringLiteral("HH:mm:ss  ")) + text);
}

void StatusPanel::statusText(const QString& text) {
    // The box shows one text at a time; the history keeps it on one line.
    QString line = text.trimmed();
    line.replace(QLatin1Char('\n'), QStringLiteral(" / "));
    if (line.isEmpty() || line == lastStatus) return;
    lastStatus = line;
    note(line);
}

void StatusPanel::answered() {
    sinceAnswer.start();
    showAnswerAge();
}

void StatusPanel::setBaud(const QString& newSettings) {
    settings = newSettings;
    showPort();
}

void StatusPanel::setZoom(Zoom zoom) {
    zoomLabel->setText(zoom == Zoom::Fit ? QStringLiteral("Zoom: fit")
                                         : QStringLiteral("Zoom: %1x").arg(static_cast<int>(zoom)));
}

void StatusPanel::showPort() {
    if (portNumber == 0) {
        portLabel->setText(QStringLiteral("No port open"));
        return;
    }
    QString text = QStringLiteral("COM%1").arg(portNumber);
    if (!device.isEmpty()) text += QStringLiteral(" (%1)").arg(device);
    const QString baud = settings.section(QLatin1Char(','), 0, 0).trimmed();
    if (!baud.isEmpty()) text += QStringLiteral(", %1 baud").arg(baud);
    portLabel->setText(text);
}

void StatusPanel::showAnswerAge() {
    // A port that opens but stays silent (started from the desktop on a port without a QTX).
    if (link == LinkState::Waiting && sinceWaiting.isValid() &&
        sinceWaiting.elapsed() >= kWaitHintMs) {
        linkLabel->setText(
            QStringLiteral("No answer: check the QTX's cable and baud rate, or "
                           "choose Link > Choose Serial Port..."));
    }
    if (!sinceAnswer.isValid() || link == LinkState::NotLinked) {
        answerLabel->clear();
        return;
    }
    const qint64 seconds = sinceAnswer.elapsed() / 1000;
    answerLabel->setText(seconds < 60
                             ? QStringLiteral("QTX answered %1 s ago").arg(seconds)
                             : QStringLiteral("QTX answered %1 min ago").arg(seconds / 60));
}

void StatusPanel::setState(LinkState state, const QString& hint) {
    link = state;
    if (state == LinkState::Linked) failure.clear();
    switch (state) {
        case LinkState::NotLinked:
            linkLabel->setText(hint.isEmpty() ? QStringLiteral("Not linked")
                                              : QStringLiteral("Not linked: ") + hint);
            break;
        case LinkState::Waiting:
            sinceWaiting.start();
            linkLabel->setText(QStringLiteral("Waiting for the QTX"));
            break;
        case LinkState::Linked:
            linkLabel->setText(QStringLiteral("Linked"));
            break;
        case LinkState::Lost:
            linkLabel->setText(
                QStringLiteral("Link lost: choose Link > Establish Link when the "
                               "device is back"));
            break;
        case LinkState::CommunicationFailed:
            linkLabel->setText(QStringLiteral("Communication failed"));
            break;
    }
    // The display keeps the QTX's last words; greyed, they read as not current.
    const bool down = state != LinkState::Linked;
    if (display->property("linkDown").toBool() != down) {
        display->setProperty("linkDown", down);
        display->style()->unpolish(display);
        display->style()->polish(display);
    }
    showAnswerAge();
}

void StatusPanel::summariseDownloadAll(const DownloadAllEnded& end) {
    using End = DownloadAllEnded::End;
    const QString saved =
        downloadSaved.isEmpty()
            ? QStringLiteral("none saved")
            : QStringLiteral("%1 saved as %2")
                  .arg(images(static_cast<int>(downloadSaved.size())), fileRange(downloadSaved));
    switch (end.end) {
        case End::Completed:
            note(end.saved == end.images && !downloadSaved.isEmpty()
                     ? images(end.images) + QStringLiteral(" saved as ") + fileRange(downloadSaved)
                     : QStringLiteral("Download All: %1 received, %2")
                           .arg(images(end.images), saved));
            break;
        case End::Empty:
            note(QStringLiteral("Download All: the QTX holds no images"));
            break;
        case End::Aborted:
            note(QStringLiteral("Download All aborted after %1 of %2; %3")
                     .arg(QString::number(end.images), images(downloadImages), saved));
            break;
        case End::Failed:
            note(QStringLiteral("Download All stopped at buffer %1 (%2); %3")
                     .arg(end.stoppedAt)
                     .arg(failure.isEmpty() ? QStringLiteral("a file could not be saved") : failure,
                          saved));
            break;
    }
    downloadAll = false;
    downloadImages = 0;
    downloadSaved.clear();
}

void StatusPanel::report(const Event& event, const PortMap& ports) {
    const auto portName = [&](int number, const QString& dev) {
        return dev.isEmpty() ? QStringLiteral("COM%1").arg(number)
                             : QStringLiteral("COM%1 (%2)").arg(number).arg(dev);
    };
    std::visit(
        [&](const auto& e) {
            using E = std::decay_t<decltype(e)>;
            if constexpr (std::is_same_v<E, PortOpened>) {
                portNumber = e.port;
                device = ports.device(e.port);
                settings = fromBytes(e.settings);
                failure.clear();
                showPort();
                setState(LinkState::Waiting);
                note(portName(e.port, device) + QStringLiteral(" opened at ") + settings);
            } else if constexpr (std::is_same_v<E, PortFailed>) {
                portNumber = e.port;
                device = ports.device(e.port);
                showPort();
                setState(LinkState::NotLinked,
                         QStringLiteral("COM%1 could not be opened; choose Link > Choose Serial "
                                        "Port...")
                             .arg(e.port));
                note(portName(e.port, device) + QStringLiteral(" could not be opened") +
                     (e.detail.empty() ? QString() : QStringLiteral(": ") + fromBytes(e.detail)));
            } else if constexpr (std::is_same_v<E, PortLost>) {
                failure = QStringLiteral("the device was disconnected");
                setState(LinkState::Lost);
                note(portName(e.port, fromBytes(e.device)) + QStringLiteral(" was disconnected"));
            } else if constexpr (std::is_same_v<E, PortClosed>) {
                portNumber = 0;
                showPort();
                setState(LinkState::NotLinked);
                note(QStringLiteral("Port closed"));
            } else if constexpr (std::is_same_v<E, LinkEstablished>) {
                // The console says "Link Established" itself, and the history keeps it.
                setState(LinkState::Linked);
            } else if constexpr (std::is_same_v<E, KeyAcknowledged> ||
                                 std::is_same_v<E, ImageReceived>) {
                if (link == LinkState::CommunicationFailed || link == LinkState::Waiting) {
                    setState(LinkState::Linked);
                }
            } else if constexpr (std::is_same_v<E, CommunicationFailed>) {
                failure = QStringLiteral("communication failed");
                setState(LinkState::CommunicationFailed);
                note(e.during == CommunicationFailed::During::Upload
                         ? QStringLiteral("Communication failed during the upload")
                         : QStringLiteral("Communication failed during the transfer"));
            } else if constexpr (std::is_same_v<E, ImageStarted>) {
                if (link != LinkState::Linked) setState(LinkState::Linked);
                if (e.images > 0 && (!downloadAll || e.image == 1)) {
                    if (e.image == 1) downloadSaved.clear();
                    downloadAll = true;
                }
                if (e.images > 0) downloadImages = e.images;
            } else if constexpr (std::is_same_v<E, DownloadAllEnded>) {
                summariseDownloadAll(e);
            } else if constexpr (std::is_same_v<E, UploadEnded>) {
                note((e.success ? QStringLiteral("Upload done: ")
                                : QStringLiteral("Upload failed: ")) +
                     fromBytes(e.reason));
            } else if constexpr (std::is_same_v<E, FileWritten>) {
                const QString path = fromBytes(e.path);
                if (downloadAll && e.kind == FileKind::Image) downloadSaved << path;
                note(kindName(e.kind) + QStringLiteral(" written: ") + path);
            } else if constexpr (std::is_same_v<E, FileRefused>) {
                note(kindName(e.kind) + QStringLiteral(" not written: ") + fromBytes(e.path) +
                     (e.exists           ? QStringLiteral(" (it exists)")
                      : e.reason.empty() ? QString()
                                         : QStringLiteral(" (%1)").arg(fromBytes(e.reason))));
            } else if constexpr (std::is_same_v<E, FileRead>) {
                note((e.ok ? QStringLiteral("%1 read: ") : QStringLiteral("%1 not read: "))
                         .arg(kindName(e.kind)) +
                     fromBytes(e.path));
            } else if constexpr (std::is_same_v<E, FlatFieldApplied>) {
                note(QStringLiteral("Flat field applied"));
            } else if constexpr (std::is_same_v<E, NothingToAbort>) {
                note(QStringLiteral("Abort Download All: no Download All is under way"));
            }
        },
        event);
}

}  // namespace qtx

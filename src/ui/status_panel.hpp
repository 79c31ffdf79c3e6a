// What the window tells the observer beside the console's own texts: the link in the status
// bar (port, device or address, baud rate, state, when the QTX last answered, the zoom) and a
// timestamped history of what happened. Both are built from the console's typed events and
// the texts it shows, never by reading those texts.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include "events.hpp"
#include "serial_settings.hpp"
#include "zoom.hpp"

class QLabel;
class QPlainTextEdit;
class QStatusBar;

namespace qtx {

class StatusPanel : public QObject {
    Q_OBJECT
  public:
    enum class LinkState { NotLinked, Waiting, Linked, Lost, CommunicationFailed };

    // Adds its fields to `bar`; `display` is the QTX's mirrored display, greyed while the
    // link is down; `history` gets one line per thing that happened.
    StatusPanel(QStatusBar* bar, QPlainTextEdit* display, QPlainTextEdit* history,
                QObject* parent = nullptr);

    void report(const Event& event, const PortMap& ports);
    // A text the console showed in the PC Message box.
    void statusText(const QString& text);
    // A line of the history of the window's own (dialogs cancelled, nothing to abort).
    void note(const QString& text);
    // Bytes came from the QTX.
    void answered();
    void setBaud(const QString& settings);
    void setZoom(Zoom zoom);

    LinkState state() const { return link; }
    QLabel* portLabel = nullptr;
    QLabel* linkLabel = nullptr;
    QLabel* answerLabel = nullptr;
    QLabel* zoomLabel = nullptr;

  private:
    void setState(LinkState state, const QString& hint = {});
    void showPort();
    void showAnswerAge();
    void summariseDownloadAll(const DownloadAllEnded& end);

    QPlainTextEdit* display;
    QPlainTextEdit* history;
    LinkState link = LinkState::NotLinked;
    int portNumber = 0;
    QString device;
    QString settings;
    QElapsedTimer sinceAnswer;
    QElapsedTimer sinceWaiting;
    QTimer ageTicker;
    QString lastStatus;
    // The Download All under way: how many images it fetches and the files it saved.
    bool downloadAll = false;
    int downloadImages = 0;
    QStringList downloadSaved;
    QString failure;  // why the link went down last ("" while it is up)
};

}  // namespace qtx

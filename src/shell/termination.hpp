// Ctrl+C in the terminal, SIGTERM and SIGHUP end the program the way "Exit" does, so the
// QTX is switched out of remote operation. The signal handler only writes a byte to a pipe;
// the closing happens in the event loop.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace qtx {

class TerminationWatcher : public QObject {
    Q_OBJECT
  public:
    explicit TerminationWatcher(QObject* parent = nullptr);
    ~TerminationWatcher() override;

  signals:
    void terminationRequested(int signalNumber);

  private:
    QSocketNotifier* notifier = nullptr;
};

}  // namespace qtx

// `frmQTXdriver`: the console's main window. It builds the controls, turns their signals
// into calls of the console and owns the console and its host.
#pragma once

#include <QMainWindow>

#include "console.hpp"
#include "growing_picture.hpp"
#include "observer.hpp"
#include "qt_host.hpp"

namespace qtx {

class MainWindow : public QMainWindow {
    Q_OBJECT
  public:
    // Builds the window and runs the console's load procedure, which opens COM1; with a
    // traffic log, which the caller keeps, from the first frame on.
    explicit MainWindow(const PortMap& ports, QWidget* parent = nullptr, TrafficLog* log = nullptr);
    ~MainWindow() override;

    Console& console() { return core; }
    Observer& observer() { return *tools; }
    QtHost& host() { return qtHost; }

    // Switches the QTX out of remote operation and closes the port; runs once only, however
    // the program ends (Exit, the window's close button, a signal, the end of the session).
    void shutDown();

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    WindowParts buildParts();                      // every control, laid out
    QWidget* buildFrontPanel(WindowParts& parts);  // front_panel.cpp
    void buildMenus();                             // menus.cpp
    void choosePort();                             // port_dialog.cpp
    void trackFormMoves(QWidget* central);
    void growToShowPicture();

    // In this order: the controls, the host that works on them, the console on the host.
    WindowParts ui;
    QtHost qtHost;
    Console core{qtHost};
    bool linkClosed = false;
    Observer* tools = nullptr;          // the stars, focus graph and track offsets
    GrowingPicture* growing = nullptr;  // the picture while the rows come
};

}  // namespace qtx

// "Choose Serial Port...": the serial ports of the machine, the facts and advice about the one
// selected, and the choice of it as COM1 or COM2; or instead a network port (a ser2net at the
// telescope) entered as kind, host and port.
#pragma once

#include <QDialog>
#include <functional>
#include <optional>

#include "port_listing.hpp"
#include "serial_settings.hpp"

class QComboBox;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

namespace qtx {

class PortDialog : public QDialog {
    Q_OBJECT
  public:
    struct Choice {
        int portNumber = 0;
        QString device;  // its stable name where it has one, or the network port's name
    };

    // `list` gathers the ports, again on Refresh; `current` marks the ports in use. The
    // network port shown is the one in use as COM1 or COM2, else `lastNetwork`.
    PortDialog(std::function<PortListing()> list, PortMap current, QString lastNetwork = {},
               QWidget* parent = nullptr);

    std::optional<Choice> choice() const { return chosen; }

  private:
    void refresh();
    void showDetails();
    void choose(int portNumber);
    void enableChoice();
    QString networkChoice() const;

    std::function<PortListing()> list;
    PortMap current;
    PortListing listing;
    QListWidget* ports = nullptr;
    QLineEdit* typedPath = nullptr;
    QPlainTextEdit* details = nullptr;
    QPushButton* useButtons[2] = {};
    QGroupBox* network = nullptr;
    QComboBox* networkKind = nullptr;
    QLineEdit* networkHost = nullptr;
    QSpinBox* networkPort = nullptr;
    std::optional<Choice> chosen;
};

}  // namespace qtx

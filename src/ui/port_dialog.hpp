// "Choose Serial Port...": the serial ports of the machine, the facts and advice about the one
// selected, and the choice of it as COM1 or COM2.
#pragma once

#include <QDialog>
#include <functional>
#include <optional>

#include "port_listing.hpp"
#include "serial_settings.hpp"

class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace qtx {

class PortDialog : public QDialog {
    Q_OBJECT
  public:
    struct Choice {
        int portNumber = 0;
        QString device;  // its stable name where it has one
    };

    // `list` gathers the ports, again on Refresh; `current` marks the ports in use.
    PortDialog(std::function<PortListing()> list, PortMap current, QWidget* parent = nullptr);

    std::optional<Choice> choice() const { return chosen; }

  private:
    void refresh();
    void showDetails();
    void choose(int portNumber);

    std::function<PortListing()> list;
    PortMap current;
    PortListing listing;
    QListWidget* ports = nullptr;
    QPlainTextEdit* details = nullptr;
    QPushButton* useButtons[2] = {};
    std::optional<Choice> chosen;
};

}  // namespace qtx

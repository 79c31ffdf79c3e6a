#include "port_dialog.hpp"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QVBoxLayout>

#include "main_window.hpp"
#include "network_port.hpp"
#include "port_choice.hpp"

namespace qtx {

namespace {

QString fromBytes(const std::string& text) { return QString::fromLocal8Bit(text); }

}  // namespace

PortDialog::PortDialog(std::function<PortListing()> listPorts, PortMap current, QString lastNetwork,
                       QWidget* parent)
    : QDialog(parent), list(std::move(listPorts)), current(std::move(current)) {
    setObjectName(QStringLiteral("frmports"));
    setWindowTitle(QStringLiteral("Choose Serial Port"));
    ports = new QListWidget(this);
    ports->setObjectName(QStringLiteral("lstports"));
    details = new QPlainTextEdit(this);
    details->setObjectName(QStringLiteral("txtportdetails"));
    details->setReadOnly(true);
    details->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    // The facts line up in columns, as `qtx ports` prints them.
    details->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    auto* buttons = new QDialogButtonBox(this);
    auto* refreshButton =
        buttons->addButton(QStringLiteral("Refresh"), QDialogButtonBox::ResetRole);
    for (int n = 1; n <= 2; ++n) {
        QPushButton* use =
            buttons->addButton(QStringLiteral("Use as COM%1").arg(n), QDialogButtonBox::ActionRole);
        use->setObjectName(QStringLiteral("cmdcom%1").arg(n));
        connect(use, &QPushButton::clicked, this, [this, n] { choose(n); });
        useButtons[n - 1] = use;
    }
    buttons->addButton(QDialogButtonBox::Cancel);
    refreshButton->setObjectName(QStringLiteral("cmdrefresh"));
    connect(refreshButton, &QPushButton::clicked, this, &PortDialog::refresh);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(ports, &QListWidget::currentRowChanged, this, &PortDialog::showDetails);

    // A device the list cannot show (a pseudo-terminal, a by-id link), typed; it is what Use
    // as COMn takes while it holds a path, until a port of the list is clicked.
    typedPath = new QLineEdit(this);
    typedPath->setObjectName(QStringLiteral("txtdevicepath"));
    typedPath->setPlaceholderText(
        QStringLiteral("or type a device path: /dev/pts/3, /dev/serial/by-id/..."));
    connect(typedPath, &QLineEdit::textChanged, this, &PortDialog::enableChoice);
    connect(ports, &QListWidget::itemClicked, typedPath, &QLineEdit::clear);

    // A network port, checked to be the one chosen instead of a port of the list.
    network = new QGroupBox(QStringLiteral("Network port (ser2net)"), this);
    network->setObjectName(QStringLiteral("grpnetwork"));
    network->setCheckable(true);
    networkKind = new QComboBox(network);
    networkKind->setObjectName(QStringLiteral("cbonetkind"));
    networkKind->addItem(QStringLiteral("RFC 2217"));
    networkKind->addItem(QStringLiteral("raw TCP"));
    networkHost = new QLineEdit(network);
    networkHost->setObjectName(QStringLiteral("txtnethost"));
    networkHost->setPlaceholderText(QStringLiteral("host name or address"));
    networkPort = new QSpinBox(network);
    networkPort->setObjectName(QStringLiteral("txtnetport"));
    networkPort->setRange(1, 65535);
    networkPort->setValue(2000);
    auto* row = new QHBoxLayout(network);
    row->addWidget(networkKind);
    row->addWidget(new QLabel(QStringLiteral("Host"), network));
    row->addWidget(networkHost, 1);
    row->addWidget(new QLabel(QStringLiteral("Port"), network));
    row->addWidget(networkPort);
    const auto isNetwork = [](const QString& device) {
        return isNetworkName(device.toStdString());
    };
    const QString shown = isNetwork(this->current.com1)   ? this->current.com1
                          : isNetwork(this->current.com2) ? this->current.com2
                                                          : lastNetwork;
    if (const auto address = parseNetworkName(shown.toStdString())) {
        networkKind->setCurrentIndex(address->kind == NetworkAddress::Kind::Raw ? 1 : 0);
        networkHost->setText(QString::fromStdString(address->host));
        networkPort->setValue(address->port);
    }
    network->setChecked(isNetwork(this->current.com1));
    connect(network, &QGroupBox::toggled, this, &PortDialog::enableChoice);
    connect(networkHost, &QLineEdit::textChanged, this, &PortDialog::enableChoice);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ports, 1);
    layout->addWidget(typedPath);
    layout->addWidget(details, 2);
    layout->addWidget(network);
    layout->addWidget(buttons);
    resize(640, 480);
    refresh();
}

QString PortDialog::networkChoice() const {
    NetworkAddress address;
    address.kind = networkKind->currentIndex() == 1 ? NetworkAddress::Kind::Raw
                                                    : NetworkAddress::Kind::Rfc2217;
    // Host names know no case; the name keeps them in lower case.
    address.host = networkHost->text().trimmed().toLower().toStdString();
    address.port = static_cast<quint16>(networkPort->value());
    // Only a name that reads back as itself (no blank or slash in the host).
    const std::string name = networkName(address);
    return parseNetworkName(name) == address ? QString::fromStdString(name) : QString();
}

void PortDialog::enableChoice() {
    const bool chosen = network->isChecked()
                            ? !networkChoice().isEmpty()
                            : ports->currentRow() >= 0 || !typedPath->text().trimmed().isEmpty();
    for (QPushButton* use : useButtons) use->setEnabled(chosen);
    ports->setEnabled(!network->isChecked());
    typedPath->setEnabled(!network->isChecked());
}

void PortDialog::refresh() {
    listing = list();
    ports->clear();
    int selected = listing.ports.empty() ? -1 : 0;
    bool com1Listed = false;
    for (std::size_t i = 0; i < listing.ports.size(); ++i) {
        const PortEntry& entry = listing.ports[i];
        const int com = namesPort(entry, current.com1.toStdString())   ? 1
                        : namesPort(entry, current.com2.toStdString()) ? 2
                                                                       : 0;
        if (com == 1) selected = static_cast<int>(i);
        com1Listed = com1Listed || com == 1;
        ports->addItem(fromBytes(portSummary(entry, com)));
    }
    // COM1 on a device the list does not show stands typed, so that it is seen as in use.
    if (!com1Listed && !isNetworkName(current.com1.toStdString()) && typedPath->text().isEmpty()) {
        typedPath->setText(current.com1);
    }
    ports->setCurrentRow(selected);
    showDetails();
}

void PortDialog::showDetails() {
    const int row = ports->currentRow();
    // With no port listed (and no network port) there is nothing to choose.
    enableChoice();
    std::vector<PortEntry> shown;
    if (row >= 0 && row < static_cast<int>(listing.ports.size())) {
        shown.push_back(listing.ports[static_cast<std::size_t>(row)]);
    }
    // With no port at all this says so, and the machine's notes show either way.
    details->setPlainText(fromBytes(portListText(shown, listing.notes)));
}

void PortDialog::choose(int portNumber) {
    if (network->isChecked()) {
        const QString name = networkChoice();
        if (name.isEmpty()) return;
        chosen = Choice{portNumber, name};
        accept();
        return;
    }
    if (const QString typed = typedPath->text().trimmed(); !typed.isEmpty()) {
        chosen = Choice{portNumber, typed};
        accept();
        return;
    }
    const int row = ports->currentRow();
    if (row < 0 || row >= static_cast<int>(listing.ports.size())) return;
    chosen =
        Choice{portNumber, fromBytes(rememberedName(listing.ports[static_cast<std::size_t>(row)]))};
    accept();
}

void MainWindow::choosePort() {
    QSettings settings;
    PortDialog dialog([] { return listPorts(); }, qtHost.portMap(), rememberedNetworkPort(settings),
                      this);
    if (dialog.exec() != QDialog::Accepted || !dialog.choice()) return;
    const PortDialog::Choice choice = *dialog.choice();
    qtHost.setDevice(choice.portNumber, choice.device);
    rememberPort(settings, choice.portNumber, choice.device);
    // As Establish Link on that port: the choice is there to be used.
    core.establishLink(choice.portNumber);
}

}  // namespace qtx

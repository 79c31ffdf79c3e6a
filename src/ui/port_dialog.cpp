#include "port_dialog.hpp"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

#include "main_window.hpp"
#include "port_choice.hpp"

namespace qtx {

namespace {

QString fromBytes(const std::string& text) { return QString::fromLocal8Bit(text); }

}  // namespace

PortDialog::PortDialog(std::function<PortListing()> listPorts, PortMap current, QWidget* parent)
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

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ports, 1);
    layout->addWidget(details, 2);
    layout->addWidget(buttons);
    resize(640, 420);
    refresh();
}

void PortDialog::refresh() {
    listing = list();
    ports->clear();
    int selected = listing.ports.empty() ? -1 : 0;
    for (std::size_t i = 0; i < listing.ports.size(); ++i) {
        const PortEntry& entry = listing.ports[i];
        const int com = namesPort(entry, current.com1.toStdString())   ? 1
                        : namesPort(entry, current.com2.toStdString()) ? 2
                                                                       : 0;
        if (com == 1) selected = static_cast<int>(i);
        ports->addItem(fromBytes(portSummary(entry, com)));
    }
    ports->setCurrentRow(selected);
    showDetails();
}

void PortDialog::showDetails() {
    const int row = ports->currentRow();
    // With no port listed there is nothing to choose.
    for (QPushButton* use : useButtons) use->setEnabled(row >= 0);
    std::vector<PortEntry> shown;
    if (row >= 0 && row < static_cast<int>(listing.ports.size())) {
        shown.push_back(listing.ports[static_cast<std::size_t>(row)]);
    }
    // With no port at all this says so, and the machine's notes show either way.
    details->setPlainText(fromBytes(portListText(shown, listing.notes)));
}

void PortDialog::choose(int portNumber) {
    const int row = ports->currentRow();
    if (row < 0 || row >= static_cast<int>(listing.ports.size())) return;
    chosen =
        Choice{portNumber, fromBytes(rememberedName(listing.ports[static_cast<std::size_t>(row)]))};
    accept();
}

void MainWindow::choosePort() {
    PortDialog dialog([] { return listPorts(); }, qtHost.portMap(), this);
    if (dialog.exec() != QDialog::Accepted || !dialog.choice()) return;
    const PortDialog::Choice choice = *dialog.choice();
    qtHost.setDevice(choice.portNumber, choice.device);
    QSettings settings;
    rememberPort(settings, choice.portNumber, choice.device);
    // As Establish Link on that port: the choice is there to be used.
    core.establishLink(choice.portNumber);
}

}  // namespace qtx

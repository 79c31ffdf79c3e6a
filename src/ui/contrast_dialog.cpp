#include "contrast_dialog.hpp"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace qtx {

ContrastDialog::ContrastDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmcontrast"));
    setWindowTitle(QStringLiteral("Adjust Background and Range"));
    setModal(true);

    Lblbackground = new QLabel(QStringLiteral("Enter Background:"), this);
    Lblbackground->setObjectName(QStringLiteral("Lblbackground"));
    txtbackground = new QLineEdit(this);
    txtbackground->setObjectName(QStringLiteral("txtbackground"));
    lblrange = new QLabel(QStringLiteral("Enter Range:"), this);
    lblrange->setObjectName(QStringLiteral("lblrange"));
    txtrange = new QLineEdit(this);
    txtrange->setObjectName(QStringLiteral("txtrange"));
    Lblbackground->setBuddy(txtbackground);
    lblrange->setBuddy(txtrange);
    cmddone = new QPushButton(QStringLiteral("Done"), this);
    cmddone->setObjectName(QStringLiteral("cmddone"));
    cmddone->setDefault(true);
    connect(cmddone, &QPushButton::clicked, this, &QDialog::accept);

    auto* form = new QFormLayout;
    form->addRow(Lblbackground, txtbackground);
    form->addRow(lblrange, txtrange);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmddone);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

ContrastTexts ContrastDialog::run(const ContrastTexts& initial) {
    txtbackground->setText(QString::fromLatin1(initial.background));
    txtrange->setText(QString::fromLatin1(initial.range));
    txtbackground->setFocus();
    txtbackground->selectAll();
    if (exec() != QDialog::Accepted) return {};
    return {txtbackground->text().toLatin1().toStdString(),
            txtrange->text().toLatin1().toStdString()};
}

}  // namespace qtx

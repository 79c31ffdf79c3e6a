#include "contrast_dialog.hpp"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "histogram_view.hpp"

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
    histogram = new HistogramView(this);
    // The marks follow every change of the boxes, typed or set.
    connect(txtbackground, &QLineEdit::textChanged, this, &ContrastDialog::markTypedLevels);
    connect(txtrange, &QLineEdit::textChanged, this, &ContrastDialog::markTypedLevels);

    auto* form = new QFormLayout;
    form->addRow(Lblbackground, txtbackground);
    form->addRow(lblrange, txtrange);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmddone);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(histogram);
    layout->addLayout(form);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

ContrastTexts ContrastDialog::run(const ContrastTexts& initial, const Histogram& counts) {
    histogram->setHistogram(counts);
    txtbackground->setText(QString::fromLatin1(initial.background));
    txtrange->setText(QString::fromLatin1(initial.range));
    markTypedLevels();
    txtbackground->setFocus();
    txtbackground->selectAll();
    if (exec() != QDialog::Accepted) return {};
    return {txtbackground->text().toLatin1().toStdString(),
            txtrange->text().toLatin1().toStdString()};
}

void ContrastDialog::markTypedLevels() {
    histogram->setMarks(typedContrastMarks(txtbackground->text().toLatin1().toStdString(),
                                           txtrange->text().toLatin1().toStdString()));
}

}  // namespace qtx

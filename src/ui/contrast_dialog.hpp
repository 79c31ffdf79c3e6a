// `frmcontrast`: the small modal dialog in which the observer types background and range.
#pragma once

#include <QDialog>

#include "host.hpp"

class QLineEdit;
class QLabel;
class QPushButton;

namespace qtx {

class ContrastDialog : public QDialog {
    Q_OBJECT
  public:
    explicit ContrastDialog(QWidget* parent = nullptr);

    // Shows the dialog modally with the given texts. "Done" returns what the boxes hold;
    // closing the dialog any other way (close button, Escape) returns both empty.
    ContrastTexts run(const ContrastTexts& initial);

  private:
    QLabel* Lblbackground;
    QLineEdit* txtbackground;
    QLabel* lblrange;
    QLineEdit* txtrange;
    QPushButton* cmddone;
};

}  // namespace qtx

// `frmcontrast`: the small modal dialog in which the observer types background and range.
#pragma once

#include <QDialog>

#include "host.hpp"

class QLineEdit;
class QLabel;
class QPushButton;

namespace qtx {

class HistogramView;

class ContrastDialog : public QDialog {
    Q_OBJECT
  public:
    explicit ContrastDialog(QWidget* parent = nullptr);

    // Shows the dialog modally with the given texts and the image's histogram. "Done" returns
    // what the boxes hold; closing the dialog any other way (close button, Escape) returns
    // both empty.
    ContrastTexts run(const ContrastTexts& initial, const Histogram& histogram);

  private:
    void markTypedLevels();

    HistogramView* histogram;
    QLabel* Lblbackground;
    QLineEdit* txtbackground;
    QLabel* lblrange;
    QLineEdit* txtrange;
    QPushButton* cmddone;
};

}  // namespace qtx

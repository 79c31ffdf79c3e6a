// The histogram in the contrast dialog: the image's pixel counts on a log scale, with the
// Background and Background + Range levels the boxes now hold marked on it.
#pragma once

#include <QWidget>
#include <optional>

#include "image/histogram.hpp"

namespace qtx {

class HistogramView : public QWidget {
    Q_OBJECT
  public:
    explicit HistogramView(QWidget* parent = nullptr);

    void setHistogram(const Histogram& counts);
    void setMarks(const std::optional<ContrastMarks>& levels);
    const std::optional<ContrastMarks>& marks() const { return shownMarks; }

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QRect plotArea() const;

    Histogram histogram;
    std::optional<ContrastMarks> shownMarks;
};

}  // namespace qtx

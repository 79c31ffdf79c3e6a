// A small line plot drawn with QPainter: series of points against whole numbers (image or
// exposure numbers), with axes, ticks, a legend and lines of text above it.
#pragma once

#include <QColor>
#include <QPointF>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <vector>

namespace qtx {

class PlotView : public QWidget {
    Q_OBJECT
  public:
    struct Series {
        QString name;
        QColor colour;
        std::vector<QPointF> points;
    };

    explicit PlotView(QString xLabel, QString yLabel, QWidget* parent = nullptr);

    void setSeries(std::vector<Series> series);
    // Lines shown above the plot (RMS, what is missing).
    void setNotes(QStringList notes);
    const std::vector<Series>& series() const { return shown; }

    QSize sizeHint() const override { return {480, 300}; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QString xLabel, yLabel;
    std::vector<Series> shown;
    QStringList notes;
};

// Tick values from `low` to `high`, about `count` of them at 1, 2 or 5 times a power of ten.
std::vector<double> plotTicks(double low, double high, int count);

}  // namespace qtx

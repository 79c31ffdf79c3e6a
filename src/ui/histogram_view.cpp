#include "histogram_view.hpp"

#include <QPainter>
#include <QPolygonF>
#include <algorithm>

namespace qtx {

namespace {

// One screen column a bin when there are all kHistogramBins of them.
constexpr int kPlotWidth = kHistogramBins;
constexpr int kPlotHeight = 100;
constexpr int kMargin = 6;

const QColor kBackgroundMark(40, 90, 220);
const QColor kTopMark(210, 40, 40);

}  // namespace

HistogramView::HistogramView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("histogram"));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void HistogramView::setHistogram(const Histogram& counts) {
    histogram = counts;
    update();
}

void HistogramView::setMarks(const std::optional<ContrastMarks>& levels) {
    shownMarks = levels;
    update();
}

QSize HistogramView::sizeHint() const {
    // The plot, a line for the values at its ends, a line for the key to the marks.
    const int text = fontMetrics().height();
    return {kPlotWidth + 2 * kMargin, kPlotHeight + 2 * kMargin + 2 * text};
}

QRect HistogramView::plotArea() const { return {kMargin, kMargin, kPlotWidth, kPlotHeight}; }

void HistogramView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect plot = plotArea();
    painter.fillRect(plot, palette().base());
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(plot.adjusted(0, 0, -1, -1));
    if (histogram.counts.empty()) {
        painter.setPen(palette().color(QPalette::Text));
        painter.drawText(plot, Qt::AlignCenter, tr("No image"));
        return;
    }

    const auto bins = static_cast<int>(histogram.counts.size());
    const std::int32_t largest =
        *std::max_element(histogram.counts.begin(), histogram.counts.end());
    for (int i = 0; i < bins; ++i) {
        const int left = plot.left() + i * plot.width() / bins;
        const int right = plot.left() + (i + 1) * plot.width() / bins;
        const double height =
            logBarHeight(histogram.counts[static_cast<std::size_t>(i)], largest, plot.height() - 1);
        const int top = plot.bottom() - static_cast<int>(height + 0.5);
        if (top < plot.bottom()) {
            painter.fillRect(QRect(QPoint(left, top + 1), QPoint(right - 1, plot.bottom())),
                             palette().color(QPalette::WindowText));
        }
    }

    // The smallest and largest value under the ends of the axis.
    painter.setPen(palette().color(QPalette::WindowText));
    const int text = fontMetrics().height();
    const QRect labels(plot.left(), plot.bottom() + 1, plot.width(), text);
    painter.drawText(labels, Qt::AlignLeft | Qt::AlignVCenter, QString::number(histogram.low));
    painter.drawText(labels, Qt::AlignRight | Qt::AlignVCenter,
                     QString::number(histogram.high() - 1));
    const QRect key = labels.translated(0, text);
    painter.setPen(kBackgroundMark);
    painter.drawText(key, Qt::AlignLeft | Qt::AlignVCenter, tr("| Background"));
    painter.setPen(kTopMark);
    painter.drawText(key, Qt::AlignRight | Qt::AlignVCenter, tr("| Background + Range"));

    if (!shownMarks) return;
    const auto mark = [&](std::int64_t value, const QColor& colour) {
        const HistogramMark at = histogramMark(histogram, value, plot.width() - 1);
        const double x = plot.left() + at.position;
        painter.setPen(QPen(colour, 1, at.beyond == 0 ? Qt::SolidLine : Qt::DashLine));
        painter.drawLine(QPointF(x + 0.5, plot.top()), QPointF(x + 0.5, plot.bottom()));
        // A level beyond the data points outwards from the end it is held at.
        if (at.beyond != 0) {
            const double tip = x + 0.5 + at.beyond * 5.0;
            painter.setBrush(colour);
            painter.drawPolygon(
                QPolygonF({QPointF(x + 0.5, plot.top() + 2.0), QPointF(tip, plot.top() + 6.0),
                           QPointF(x + 0.5, plot.top() + 10.0)}));
            painter.setBrush(Qt::NoBrush);
        }
    };
    mark(shownMarks->background, kBackgroundMark);
    mark(shownMarks->top, kTopMark);
}

}  // namespace qtx

#include "plot_view.hpp"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <limits>

#include "text/numtext.hpp"

namespace qtx {

namespace {

QString tickText(double value, double step) {
    const char* pattern = step >= 1.0 ? "0" : step >= 0.1 ? "0.0" : step >= 0.01 ? "0.00" : "0.000";
    return QString::fromStdString(formatPattern(value, pattern));
}

}  // namespace

std::vector<double> plotTicks(double low, double high, int count) {
    std::vector<double> ticks;
    if (!(high > low) || count < 1) return {low};
    const double raw = (high - low) / count;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    double step = power;
    for (const double m : {1.0, 2.0, 5.0, 10.0}) {
        step = m * power;
        if (step >= raw) break;
    }
    for (double t = std::ceil(low / step - 1e-9) * step; t <= high + step * 1e-9; t += step) {
        ticks.push_back(std::abs(t) < step * 1e-9 ? 0.0 : t);
    }
    return ticks;
}

PlotView::PlotView(QString xLabel, QString yLabel, QWidget* parent)
    : QWidget(parent), xLabel(std::move(xLabel)), yLabel(std::move(yLabel)) {
    setMinimumSize(320, 200);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::white);
    setPalette(p);
}

void PlotView::setSeries(std::vector<Series> series) {
    shown = std::move(series);
    update();
}

void PlotView::setNotes(QStringList lines) {
    notes = std::move(lines);
    update();
}

void PlotView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QFontMetrics fm = painter.fontMetrics();
    const int line = fm.height();

    // Whole numbers along x from 1; y spans the values with a margin, and 0 when near.
    double xMax = 1.0, yMin = std::numeric_limits<double>::max(), yMax = -yMin;
    for (const Series& s : shown) {
        for (const QPointF& p : s.points) {
            xMax = std::max(xMax, p.x());
            yMin = std::min(yMin, p.y());
            yMax = std::max(yMax, p.y());
        }
    }
    if (yMin > yMax) yMin = 0.0, yMax = 1.0;
    if (yMax - yMin < 1e-9) yMin -= 1.0, yMax += 1.0;
    const double pad = (yMax - yMin) * 0.1;
    yMin -= pad;
    yMax += pad;
    const std::vector<double> yTicks = plotTicks(yMin, yMax, 5);
    const std::vector<double> xTicks = plotTicks(1.0, std::max(2.0, xMax), 8);
    const double yStep = yTicks.size() > 1 ? yTicks[1] - yTicks[0] : 1.0;

    int yTextWidth = fm.horizontalAdvance(yLabel);
    for (const double t : yTicks)
        yTextWidth = std::max(yTextWidth, fm.horizontalAdvance(tickText(t, yStep)));
    const int top = 8 + line * static_cast<int>(notes.size() + 1);
    const QRect area(yTextWidth + 16, top, std::max(10, width() - yTextWidth - 32),
                     std::max(10, height() - top - 2 * line - 12));
    const double xLow = 1.0, xHigh = std::max(2.0, xMax);
    const auto at = [&](QPointF p) {
        return QPointF(area.left() + (p.x() - xLow) / (xHigh - xLow) * area.width(),
                       area.bottom() - (p.y() - yMin) / (yMax - yMin) * area.height());
    };

    painter.setPen(Qt::black);
    for (int k = 0; k < notes.size(); ++k)
        painter.drawText(8, 8 + line * (k + 1) - fm.descent(), notes[k]);
    painter.drawText(8, top - fm.descent() - 2, yLabel);
    painter.drawText(area.right() - fm.horizontalAdvance(xLabel), height() - 4 - fm.descent(),
                     xLabel);

    painter.setPen(QColor(225, 225, 225));
    for (const double t : yTicks) {
        const double y = at({xLow, t}).y();
        if (y >= area.top() && y <= area.bottom())
            painter.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
    }
    painter.setPen(Qt::black);
    painter.drawRect(area);
    for (const double t : yTicks) {
        const double y = at({xLow, t}).y();
        if (y < area.top() - 0.5 || y > area.bottom() + 0.5) continue;
        const QString text = tickText(t, yStep);
        painter.drawText(
            QPointF(area.left() - 6 - fm.horizontalAdvance(text), y + fm.ascent() / 2.0 - 1), text);
    }
    for (const double t : xTicks) {
        if (t != std::floor(t)) continue;  // image numbers are whole
        const double x = at({t, yMin}).x();
        painter.drawLine(QPointF(x, area.bottom()), QPointF(x, area.bottom() + 4));
        const QString text = tickText(t, 1.0);
        painter.drawText(
            QPointF(x - fm.horizontalAdvance(text) / 2.0, area.bottom() + 4 + fm.ascent()), text);
    }

    int legendX = area.left();
    for (const Series& s : shown) {
        painter.setPen(QPen(s.colour, 1.5));
        painter.setBrush(s.colour);
        QPainterPath path;
        for (std::size_t k = 0; k < s.points.size(); ++k) {
            const QPointF p = at(s.points[k]);
            k == 0 ? path.moveTo(p) : path.lineTo(p);
        }
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(path);
        painter.setBrush(s.colour);
        for (const QPointF& p : s.points) painter.drawEllipse(at(p), 3.0, 3.0);
        if (shown.size() > 1) {
            painter.drawRect(QRectF(legendX, area.top() + 6, 10, 10));
            painter.setPen(Qt::black);
            painter.drawText(legendX + 14, area.top() + 6 + fm.ascent() - 2, s.name);
            legendX += 28 + fm.horizontalAdvance(s.name);
        }
    }
}

}  // namespace qtx

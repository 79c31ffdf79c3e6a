#include "picture_view.hpp"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cstring>

#include "zoom.hpp"

namespace qtx {

PictureView::PictureView(int zoom, QWidget* parent)
    : QWidget(parent), surface(kWidth, kHeight, QImage::Format_RGB32), scale(0) {
    setObjectName(QStringLiteral("Picdata"));
    surface.fill(Qt::black);
    setZoom(zoom);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureView::setZoom(int factor) {
    factor = std::max(factor, 1);
    if (factor == scale) return;
    scale = factor;
    setFixedSize(kWidth * scale, kHeight * scale);
    update();
}

SurfaceGeometry PictureView::geometryOfBits() const {
    return {static_cast<std::int32_t>(surface.bytesPerLine()), surface.height(), surface.depth()};
}

void PictureView::setBits(std::span<const std::uint8_t> bits) {
    const auto lineBytes = static_cast<std::size_t>(surface.bytesPerLine());
    for (int y = 0; y < surface.height(); ++y) {
        const std::size_t start = static_cast<std::size_t>(y) * lineBytes;
        if (start >= bits.size()) break;
        const std::size_t count = std::min(lineBytes, bits.size() - start);
        uchar* line = surface.scanLine(y);
        std::memcpy(line, bits.data() + start, count);
        // The fourth byte of a pixel is not colour; RGB32 wants it 0xFF to stay opaque.
        auto* pixels = reinterpret_cast<QRgb*>(line);
        for (std::size_t x = 0; x < count / sizeof(QRgb); ++x) pixels[x] |= 0xFF000000u;
    }
}

void PictureView::setPixel(int x, int y, Colour colour) {
    if (!surface.valid(x, y)) return;
    surface.setPixel(x, y, qRgb(colour.red, colour.green, colour.blue));
}

void PictureView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(rect(), surface);
}

void PictureView::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
    // The picture pixel under the pointer, so the probe names exactly what is drawn there.
    const QPointF pos = event->position();
    const double x = picturePixelAt(pos.x(), scale);
    const double y = picturePixelAt(pos.y(), scale);
    emit pointerMoved(buttonMask(event->buttons()), shiftMask(event->modifiers()), x, y);
}

void PictureView::mousePressEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() != Qt::LeftButton) return;
    const QPointF pos = event->position();
    emit clicked(picturePixelAt(pos.x(), scale), picturePixelAt(pos.y(), scale));
}

void PictureView::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    emit pointerLeft();
}

int buttonMask(Qt::MouseButtons buttons) {
    return (buttons & Qt::LeftButton ? 1 : 0) | (buttons & Qt::RightButton ? 2 : 0) |
           (buttons & Qt::MiddleButton ? 4 : 0);
}

int shiftMask(Qt::KeyboardModifiers modifiers) {
    return (modifiers & Qt::ShiftModifier ? 1 : 0) | (modifiers & Qt::ControlModifier ? 2 : 0) |
           (modifiers & Qt::AltModifier ? 4 : 0);
}

}  // namespace qtx

// The picture `Picdata`: a persistent 320 x 200 bitmap of 32 bits per pixel, shown
// enlarged by a whole factor so that every picture pixel stays a sharp square. The zoom
// changes only how big it is drawn: pointer moves are always reported in picture pixels.
#pragma once

#include <QImage>
#include <QWidget>
#include <cstdint>
#include <span>

#include "host.hpp"

namespace qtx {

class PictureView : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kWidth = 320;
    static constexpr int kHeight = 200;

    explicit PictureView(int zoom, QWidget* parent = nullptr);

    SurfaceGeometry geometryOfBits() const;
    // Replaces the bits scan line by line from the top; a short buffer leaves the rest.
    void setBits(std::span<const std::uint8_t> bits);
    void setPixel(int x, int y, Colour colour);
    const QImage& image() const { return surface; }
    int zoom() const { return scale; }
    // Screen pixels per picture pixel, at least 1.
    void setZoom(int factor);

  signals:
    // Pointer moves in picture pixels (button and shift masks as the console takes them).
    void pointerMoved(int button, int shift, double x, double y);
    // The pointer left the picture.
    void pointerLeft();
    // The left button went down at picture pixel (x, y).
    void clicked(double x, double y);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    QImage surface;
    int scale;
};

// The console's button mask (1 left, 2 right, 4 middle) and shift mask (1 Shift, 2 Ctrl,
// 4 Alt) of a Qt mouse event.
int buttonMask(Qt::MouseButtons buttons);
int shiftMask(Qt::KeyboardModifiers modifiers);

}  // namespace qtx

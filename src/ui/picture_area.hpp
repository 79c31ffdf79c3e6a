// The picture in a scroll area, and its zoom: 1x, 2x, 3x or the largest whole factor that
// fits ("fit"). Ctrl+Plus, Ctrl+Minus and Ctrl+0 (back to 2x) anywhere in the window, and
// the wheel with Ctrl held over the picture; the wheel alone scrolls.
#pragma once

#include <QScrollArea>

#include "zoom.hpp"

namespace qtx {

class PictureView;

class PictureArea : public QScrollArea {
    Q_OBJECT
  public:
    explicit PictureArea(PictureView* picture, QWidget* parent = nullptr);

    Zoom zoom() const { return current; }
    void setZoom(Zoom zoom);
    void zoomIn() { setZoom(qtx::zoomIn(current)); }
    void zoomOut() { setZoom(qtx::zoomOut(current)); }

    // Exactly the picture at its zoom, so that at a fixed zoom nothing is cut or added.
    QSize sizeHint() const override;
    // Never less than the picture at the start zoom (or less when it is smaller), as the
    // window has always been; larger zooms scroll, and fit may shrink it to 1x.
    QSize minimumSizeHint() const override;

  signals:
    void zoomChanged(Zoom zoom);

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

  private:
    void changeZoom(Zoom zoom, QPointF anchor);
    // Sets the picture's factor for the zoom and the room there is, keeping the picture
    // point under `anchor` (viewport coordinates) where it was.
    void applyFactor(QPointF anchor);

    PictureView* picture;
    Zoom current = kStartZoom;
    int wheelSteps = 0;  // eighths of a degree not yet turned into a zoom step
};

}  // namespace qtx

#include "picture_area.hpp"

#include <QAction>
#include <QKeySequence>
#include <QScrollBar>
#include <QWheelEvent>

#include "picture_view.hpp"

namespace qtx {

namespace {

// One notch of a common wheel; finer wheels and touchpads add up to it.
constexpr int kWheelNotch = 120;

}  // namespace

PictureArea::PictureArea(PictureView* view, QWidget* parent) : QScrollArea(parent), picture(view) {
    setObjectName(QStringLiteral("pictureArea"));
    setFrameShape(QFrame::NoFrame);
    setAlignment(Qt::AlignCenter);
    setWidgetResizable(false);
    setWidget(picture);
    picture->setZoom(zoomFactor(current, 0, 0, PictureView::kWidth, PictureView::kHeight));

    const auto key = [this](const char* name, QList<QKeySequence> keys, auto handler) {
        auto* action = new QAction(this);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcuts(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, handler);
        addAction(action);
    };
    // Ctrl+= too: the plus shares its key with "=" on many keyboards.
    key("zoomIn", {QKeySequence::ZoomIn, QKeySequence(Qt::CTRL | Qt::Key_Equal)},
        [this] { zoomIn(); });
    key("zoomOut", {QKeySequence::ZoomOut}, [this] { zoomOut(); });
    key("zoomReset", {QKeySequence(Qt::CTRL | Qt::Key_0)}, [this] { setZoom(kStartZoom); });
}

QSize PictureArea::sizeHint() const {
    const int frame = 2 * frameWidth();
    return picture->size() + QSize(frame, frame);
}

QSize PictureArea::minimumSizeHint() const {
    const int frame = 2 * frameWidth();
    const int factor = current == Zoom::Fit ? 1 : zoomFactor(kStartZoom, 0, 0, 0, 0);
    const QSize least(PictureView::kWidth * factor, PictureView::kHeight * factor);
    return picture->size().boundedTo(least) + QSize(frame, frame);
}

void PictureArea::setZoom(Zoom zoom) {
    const QRect view = viewport()->rect();
    changeZoom(zoom, QPointF(view.width() / 2.0, view.height() / 2.0));
}

void PictureArea::changeZoom(Zoom zoom, QPointF anchor) {
    if (zoom == current) return;
    current = zoom;
    applyFactor(anchor);
    updateGeometry();
    emit zoomChanged(current);
}

void PictureArea::applyFactor(QPointF anchor) {
    const QSize room = maximumViewportSize();
    const int factor =
        zoomFactor(current, room.width(), room.height(), PictureView::kWidth, PictureView::kHeight);
    const int before = picture->zoom();
    if (factor == before) return;
    // The picture point under the anchor, in picture pixels, before the change.
    const double x = (anchor.x() + horizontalScrollBar()->value()) / before;
    const double y = (anchor.y() + verticalScrollBar()->value()) / before;
    picture->setZoom(factor);
    horizontalScrollBar()->setValue(static_cast<int>(x * factor - anchor.x()));
    verticalScrollBar()->setValue(static_cast<int>(y * factor - anchor.y()));
}

void PictureArea::resizeEvent(QResizeEvent* event) {
    QScrollArea::resizeEvent(event);
    if (current == Zoom::Fit) applyFactor(QPointF(0, 0));
}

void PictureArea::wheelEvent(QWheelEvent* event) {
    if (!(event->modifiers() & Qt::ControlModifier)) {
        QScrollArea::wheelEvent(event);
        return;
    }
    event->accept();
    wheelSteps += event->angleDelta().y();
    while (wheelSteps >= kWheelNotch || wheelSteps <= -kWheelNotch) {
        const bool in = wheelSteps > 0;
        wheelSteps += in ? -kWheelNotch : kWheelNotch;
        // The wheel reaches the area through its viewport, in the viewport's coordinates.
        changeZoom(in ? qtx::zoomIn(current) : qtx::zoomOut(current), event->position());
    }
}

}  // namespace qtx

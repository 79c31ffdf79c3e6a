#include "growing_picture.hpp"

#include <algorithm>
#include <cstring>

#include "image/render.hpp"
#include "picture_view.hpp"

namespace qtx {

GrowingPicture::GrowingPicture(PictureView* view, QObject* parent) : QObject(parent), view(view) {
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, this, &GrowingPicture::paint);
}

void GrowingPicture::event(const Event& e) {
    if (std::holds_alternative<ImageStarted>(e) || std::holds_alternative<ImageReceived>(e) ||
        std::holds_alternative<CommunicationFailed>(e) || std::holds_alternative<PortLost>(e) ||
        std::holds_alternative<PortClosed>(e)) {
        // A new image starts from black; a finished one is the console's picture, whole. An
        // image that broke off stays as far as it came.
        timer.stop();
        active = false;
        stored = painted = 0;
        return;
    }
    const auto* row = std::get_if<RowStored>(&e);
    if (!row || !row->record) return;
    const ImageRecord& r = *row->record;
    if (!active || shown.imagedata.width != r.imagedata.width ||
        shown.imagedata.height != r.imagedata.height) {
        shown = ImageRecord{};
        shown.imagedata.resize(r.imagedata.width, r.imagedata.height);
        shown.imagewidth = shown.imagedata.width;
        shown.imageheight = shown.imagedata.height;
        arrived.assign(static_cast<std::size_t>(shown.imagedata.height), false);
        active = true;
        stored = painted = 0;
    }
    shown.background = r.background;
    shown.range = r.range;
    if (!r.imagedata.holds(1, row->row) || shown.imagedata.width == 0) return;
    const std::size_t start = static_cast<std::size_t>(row->row - 1) * r.imagedata.width;
    std::copy_n(r.imagedata.cells.begin() + static_cast<std::ptrdiff_t>(start),
                shown.imagedata.width, &shown.imagedata.at(1, row->row));
    if (!arrived[static_cast<std::size_t>(row->row - 1)]) ++stored;
    arrived[static_cast<std::size_t>(row->row - 1)] = true;
    if (!timer.isActive()) {
        const qint64 since = sincePaint.isValid() ? sincePaint.elapsed() : kIntervalMs;
        timer.start(static_cast<int>(std::clamp<qint64>(kIntervalMs - since, 0, kIntervalMs)));
    }
}

void GrowingPicture::paint() {
    // A range of 0 has no picture (as the console's): the previous one stays.
    if (!active || shown.range == 0) return;
    sincePaint.start();
    const SurfaceGeometry g = view->geometryOfBits();
    if (g.bitsPerPixel != 32 && g.bitsPerPixel != 24) return;
    const int pixelBytes = g.bitsPerPixel / 8;
    const int lineBytes = std::max(0, g.bytesPerLine), lines = std::max(0, g.scanLines);
    Rendering r = renderPicture(shown, FlatField{}, lineBytes / pixelBytes, lines);
    std::vector<std::uint8_t> bits(static_cast<std::size_t>(lineBytes) *
                                   static_cast<std::size_t>(lines));
    for (int y = 0; y < r.paintedRows; ++y) {
        if (!arrived[static_cast<std::size_t>(y)]) continue;  // black until it comes
        const std::uint8_t* grey = r.picture.greys.data() +
                                   static_cast<std::size_t>(y + r.yoffset) * r.picture.columns +
                                   static_cast<std::size_t>(r.xoffset);
        std::uint8_t* out = bits.data() + static_cast<std::size_t>(y + r.yoffset) * lineBytes +
                            static_cast<std::size_t>(r.xoffset * pixelBytes);
        for (int x = 0; x < r.paintedColumns; ++x, out += pixelBytes) {
            std::fill_n(out, pixelBytes, grey[x]);
        }
    }
    view->setBits(bits);
    view->update();
    painted = stored;
    emit painted_(painted);
}

}  // namespace qtx

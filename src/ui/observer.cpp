#include "observer.hpp"

#include <QLabel>
#include <QVBoxLayout>
#include <cmath>
#include <limits>

#include "files/disk.hpp"
#include "files/kelm.hpp"
#include "files/tracklist.hpp"
#include "image/flat_correction.hpp"
#include "image/render.hpp"
#include "plot_view.hpp"
#include "text/numtext.hpp"

namespace qtx {

namespace {

// As the console's load: the largest file of 200 packed rows, and a track list's size.
constexpr std::size_t kMaxImageFileBytes = 2048 + 200 * (2 + 32767);
constexpr std::size_t kMaxTrackFileBytes = 64 * 1024;
constexpr int kMaxColumns = 320, kMaxRows = 200;

std::string fixed2(double v) { return formatPattern(v, "0.00"); }

std::string width(const char* name, const std::optional<double>& px,
                  const std::optional<double>& arcsec) {
    if (!px) return "";
    std::string text = std::string(", ") + name + " " + fixed2(*px) + " px";
    if (arcsec) text += " (" + fixed2(*arcsec) + "\")";
    return text;
}

// Where the image sits on the 320 x 200 picture: centred, as the console draws it.
void placeOnPicture(ObservedImage& image) {
    ImageRecord r;
    r.imagedata = image.pixels;
    r.imagewidth = image.pixels.width;
    r.imageheight = image.pixels.height;
    r.range = 1;
    const Rendering placed = renderPicture(r, FlatField{}, kMaxColumns, kMaxRows);
    image.xoffset = placed.xoffset;
    image.yoffset = placed.yoffset;
}

}  // namespace

ObservedImage observedReceived(const ImageReceived& received) {
    ObservedImage image;
    const ImageRecord& r = *received.record;
    const int w = std::min<int>(r.imagewidth, r.imagedata.width);
    const int h = std::min<int>(r.imageheight, r.imagedata.height);
    image.pixels.resize(static_cast<std::int16_t>(std::max(0, w)),
                        static_cast<std::int16_t>(std::max(0, h)));
    for (int row = 1; row <= h; ++row)
        for (int column = 1; column <= w; ++column)
            image.pixels.at(column, row) = r.imagedata.at(column, row);
    image.xoffset = r.xoffset;
    image.yoffset = r.yoffset;
    // The header's flag bit 1 clear: the focal length is in centimetres.
    const bool unitscm = ((r.hdrflags >> 1) & 1U) == 0;
    image.arcsecPerPixel = imageArcsecPerPixel(r.pixelsize, r.focallength, unitscm);
    if (received.tracklist && r.numexposures >= 2) {
        image.track = receivedTrackOffsets(*received.tracklist, r.numexposures);
    }
    return image;
}

std::optional<ObservedImage> observedFile(const std::string& path) {
    const ReadResult file = readFileStart(path, kMaxImageFileBytes);
    if (!file.failure.empty()) return std::nullopt;
    const KelmHeader header = parseHeader(file.bytes);
    if (!header.failure.empty() || !header.imagewidth || !header.imageheight) return std::nullopt;
    const int w = *header.imagewidth, h = *header.imageheight;
    if (w < 1 || h < 1 || w > kMaxColumns || h > kMaxRows) return std::nullopt;
    ObservedImage image;
    image.pixels.resize(static_cast<std::int16_t>(w), static_cast<std::int16_t>(h));
    if (!readPixelBlock(file.bytes, header.compressed, image.pixels).empty()) return std::nullopt;
    placeOnPicture(image);
    if (header.xpixelsize && header.focallength) {
        image.arcsecPerPixel = imageArcsecPerPixel(*header.xpixelsize, *header.focallength, false);
    }
    if (header.numexposures && *header.numexposures >= 2) {
        const ReadResult list = readFileStart(basePath(path, ".trk"), kMaxTrackFileBytes);
        const TrackListRead read = parseTrackList(
            std::string_view(reinterpret_cast<const char*>(list.bytes.data()), list.bytes.size()));
        if (list.failure.empty() && read.ok &&
            read.pairs.size() == static_cast<std::size_t>(*header.numexposures)) {
            TrackOffsets track;
            for (std::size_t k = 0; k < read.pairs.size(); ++k) {
                track.trackx[k + 1] = read.pairs[k].x;
                track.tracky[k + 1] = read.pairs[k].y;
            }
            track.trackcount = static_cast<std::int16_t>(read.pairs.size());
            image.track = track;
        }
    }
    return image;
}

std::string starText(const Star& s) {
    std::string text = "Star at (" + fixed2(s.x) + ", " + fixed2(s.y) + "): peak " +
                       std::to_string(s.peak) + ", background " +
                       formatPattern(s.background, "0.0") + ", flux " + formatPattern(s.flux, "0") +
                       width("FWHM", s.fwhm, s.fwhmArcsec) + width("HFR", s.hfr, s.hfrArcsec) +
                       ", SNR " + formatPattern(s.snr, "0");
    if (s.saturated) text += ", saturated";
    if (s.clipped) text += ", at the edge";
    if (s.blended) text += ", beside a brighter star";
    return text;
}

std::string summaryText(const StarSummary& s) {
    std::string text = std::to_string(s.count) + (s.count == 1 ? " star" : " stars");
    return text + width("FWHM", s.medianFwhm, s.medianFwhmArcsec) +
           width("HFR", s.medianHfr, s.medianHfrArcsec);
}

const Star* starAt(const std::vector<Star>& stars, double x, double y) {
    const Star* best = nullptr;
    double bestD2 = 0.0;
    for (const Star& s : stars) {
        const double d2 = (s.x - x) * (s.x - x) + (s.y - y) * (s.y - y);
        // A small star is still hit within a few pixels of its centre.
        const double reach = std::max(s.aperture, 3.0);
        if (d2 <= reach * reach && (!best || d2 < bestD2)) best = &s, bestD2 = d2;
    }
    return best;
}

Observer::Observer(QWidget* window, QLabel* status)
    : QObject(window), window(window), status(status) {}

void Observer::event(const Event& e) {
    if (const auto* received = std::get_if<ImageReceived>(&e); received && received->record) {
        measure(observedReceived(*received));
    } else if (const auto* read = std::get_if<FileRead>(&e);
               read && read->kind == FileKind::Image && read->ok) {
        if (auto image = observedFile(read->path)) measure(std::move(*image));
    }
}

void Observer::measure(ObservedImage image) {
    StarOptions options;
    options.arcsecPerPixel = image.arcsecPerPixel;
    field = findStars(pixelView(image.pixels), options);
    current = std::move(image);
    status->setText(QString::fromStdString(summaryText(field.summary)));
    status->show();
    if (focusWindow) {
        focusHfr.push_back(field.summary.medianHfr.value_or(std::nan("")));
        PlotView::Series points{QStringLiteral("HFR"), QColor(30, 90, 200), {}};
        for (std::size_t k = 0; k < focusHfr.size(); ++k) {
            if (!std::isnan(focusHfr[k])) points.points.emplace_back(double(k + 1), focusHfr[k]);
        }
        focusPlot->setSeries({points});
        focusPlot->setNotes({QString::fromStdString("Image " + std::to_string(focusHfr.size()) +
                                                    ": " + summaryText(field.summary))});
    }
    refreshTrack();
}

std::string Observer::clicked(double x, double y) const {
    if (!current) return "";
    // Picture pixel to the probe's image position (the first pixel's centre at 1, 1).
    const Star* star = starAt(field.stars, x - current->xoffset + 1.0, y - current->yoffset + 1.0);
    return star ? starText(*star) : "";
}

namespace {

QWidget* toolWindow(QWidget* owner, const char* name, const QString& title, PlotView* plot) {
    auto* w = new QWidget(owner, Qt::Window);
    w->setObjectName(QString::fromLatin1(name));
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->setWindowTitle(title);
    auto* layout = new QVBoxLayout(w);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(plot);
    return w;
}

}  // namespace

void Observer::openFocusGraph() {
    if (!focusWindow) {
        focusPlot = new PlotView(QStringLiteral("image"), QStringLiteral("HFR (px)"));
        focusWindow = toolWindow(window, "focusGraph", QStringLiteral("Focus Graph"), focusPlot);
        focusHfr.clear();
        focusPlot->setNotes({QStringLiteral("The median HFR of each image received from now on")});
    }
    focusWindow->show();
    focusWindow->raise();
}

void Observer::openTrackOffsets() {
    if (!trackWindow) {
        trackPlot = new PlotView(QStringLiteral("exposure"), QStringLiteral("offset (px)"));
        trackWindow =
            toolWindow(window, "trackOffsets", QStringLiteral("Track Offsets"), trackPlot);
    }
    refreshTrack();
    trackWindow->show();
    trackWindow->raise();
}

void Observer::refreshTrack() {
    if (!trackWindow) return;
    if (!current || !current->track) {
        trackPlot->setSeries({});
        trackPlot->setNotes(
            {QStringLiteral("No track offsets: the image is not a summed image "
                            "with its track list")});
        return;
    }
    const TrackScatter s = trackScatter(*current->track, current->arcsecPerPixel);
    PlotView::Series x{QStringLiteral("X"), QColor(200, 40, 40), {}};
    PlotView::Series y{QStringLiteral("Y"), QColor(30, 90, 200), {}};
    for (const ExposureOffset& e : s.exposures) {
        x.points.emplace_back(e.number, e.x);
        y.points.emplace_back(e.number, e.y);
    }
    trackPlot->setSeries({x, y});
    const auto rms = [](double px, const std::optional<double>& arcsec) {
        return fixed2(px) + " px" + (arcsec ? " (" + fixed2(*arcsec) + "\")" : std::string());
    };
    trackPlot->setNotes({QString::fromStdString(
        std::to_string(s.exposures.size()) + " exposures; RMS X " + rms(s.rmsX, s.rmsXArcsec) +
        ", Y " + rms(s.rmsY, s.rmsYArcsec) + ", both " + rms(s.rms, s.rmsArcsec))});
}

}  // namespace qtx

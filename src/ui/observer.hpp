// The observer's tools in the window: the stars of every image shown (their count and median
// widths in the status bar, a star's measurement in the PC Message box when it is clicked),
// the focus graph and the track offsets of a summed image.
//
// The image comes from what the console reports: a received image's record with its track
// row, or the path of a loaded file, which is read here again with the same bounded readers.
#pragma once

#include <QObject>
#include <QPointer>
#include <optional>
#include <string>
#include <vector>

#include "analysis/stars.hpp"
#include "analysis/track_offsets.hpp"
#include "events.hpp"
#include "files/state.hpp"

class QLabel;
class QWidget;

namespace qtx {

class PlotView;

// An image as measured here: its pixels, where it sits on the picture and its scale.
struct ObservedImage {
    PixelArray pixels;
    int xoffset = 0, yoffset = 0;  // picture column and row of image pixel 1, 1
    std::optional<double> arcsecPerPixel;
    std::optional<TrackOffsets> track;  // a summed image's offsets, when known
};

ObservedImage observedReceived(const ImageReceived& received);
// A .QTX file with its track list (FILE.trk, when it matches); nothing when unreadable.
std::optional<ObservedImage> observedFile(const std::string& path);

// The texts shown: a star in the PC Message box, the summary in the status bar.
std::string starText(const Star& star);
std::string summaryText(const StarSummary& summary);

// The star whose aperture holds image position (x, y), the nearest when several do.
const Star* starAt(const std::vector<Star>& stars, double x, double y);

class Observer : public QObject {
    Q_OBJECT
  public:
    // `status` is the status bar's field this sets; windows open over `window`.
    Observer(QWidget* window, QLabel* status);

    void event(const Event& event);
    // A click on the picture at picture pixel (x, y); the PC Message text, "" for none.
    std::string clicked(double x, double y) const;
    void openFocusGraph();
    void openTrackOffsets();

    const StarField& stars() const { return field; }

  private:
    void measure(ObservedImage image);
    void refreshTrack();

    QWidget* window;
    QLabel* status;
    std::optional<ObservedImage> current;
    StarField field;
    QPointer<QWidget> focusWindow, trackWindow;
    PlotView* focusPlot = nullptr;
    PlotView* trackPlot = nullptr;
    std::vector<double> focusHfr;  // median HFR of each image since the graph opened; NaN: none
};

}  // namespace qtx

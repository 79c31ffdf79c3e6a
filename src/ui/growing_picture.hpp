// The picture of an image on its way in: each row shows once it is stored, repainted at most
// every kIntervalMs, the rows not yet come black. When the image is complete the console
// paints it whole, as it always has; nothing here paints after that.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <vector>

#include "events.hpp"
#include "image/state.hpp"

namespace qtx {

class PictureView;

class GrowingPicture : public QObject {
    Q_OBJECT
  public:
    static constexpr int kIntervalMs = 100;

    explicit GrowingPicture(PictureView* view, QObject* parent = nullptr);

    void event(const Event& event);
    // Paints the rows stored so far now (the timer's work).
    void paint();
    // Rows stored and rows painted of the image on its way in.
    int rowsStored() const { return stored; }
    int rowsPainted() const { return painted; }

  signals:
    void painted_(int rows);  // after each paint, the rows it showed

  private:
    PictureView* view;
    ImageRecord shown;          // the rows come into its pixels; its levels are the image's
    std::vector<bool> arrived;  // a row each
    bool active = false;
    int stored = 0, painted = 0;
    QTimer timer;
    QElapsedTimer sincePaint;
};

}  // namespace qtx

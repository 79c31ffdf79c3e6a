#include "zoom.hpp"

#include <algorithm>
#include <cmath>

namespace qtx {

Zoom zoomIn(Zoom zoom) {
    switch (zoom) {
        case Zoom::One:
            return Zoom::Two;
        case Zoom::Two:
            return Zoom::Three;
        case Zoom::Three:
        case Zoom::Fit:
            return Zoom::Fit;
    }
    return zoom;
}

Zoom zoomOut(Zoom zoom) {
    switch (zoom) {
        case Zoom::Fit:
            return Zoom::Three;
        case Zoom::Three:
            return Zoom::Two;
        case Zoom::Two:
        case Zoom::One:
            return Zoom::One;
    }
    return zoom;
}

int zoomFactor(Zoom zoom, int availableWidth, int availableHeight, int surfaceWidth,
               int surfaceHeight) {
    if (zoom != Zoom::Fit) return static_cast<int>(zoom);
    return std::max(1, std::min(availableWidth / surfaceWidth, availableHeight / surfaceHeight));
}

double picturePixelAt(double screen, int factor) {
    return std::floor(screen / std::max(factor, 1));
}

}  // namespace qtx
